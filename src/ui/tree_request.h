#pragma once

#include <QPointer>
#include <QString>

#include <functional>

namespace korvantis::ui {

class MainView;

// What a main window hands to a new tree window. The URL text is handed on
// exactly as made ("KorvantisTree://" + base64); it is never parsed as a
// QUrl, which would lower-case and reject parts of the payload.
struct TreeRequest {
    QString urlText;
    // Per-node facts of the same tree, in its node order (see tree_facts.h).
    QString factsText;
    // The main window that asked; the tree window leads back to it while it lives.
    QPointer<MainView> origin;
};

// Opens a tree window for a request.
using TreeOpener = std::function<void(const TreeRequest& request)>;

}  // namespace korvantis::ui
