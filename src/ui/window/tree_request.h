#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "store/shared_text.h"

namespace korvantis::ui {

class TreeMarksFeed;

// The main window that asked for a tree, as its tree window reaches it: the
// two calls are made only while `window` lives.
struct TreeOrigin {
    QPointer<QWidget> window;
    // Shows the events of the process tree under `pid` there.
    std::function<void(qint64 pid)> showEvents;
    // What that window knows of the run of the process whose line has
    // `place` among its lines, as its facts card says it; empty for none.
    std::function<std::string(std::size_t place)> lifetime;
    // What that window marks on the tree's nodes (rule hits, highlights).
    QPointer<TreeMarksFeed> marks = {};
};

// What a main window hands to a new tree window.
struct TreeRequest {
    // The tree JSON, shared with the store that made it, never copied.
    SharedText treeJson;
    // Per-node facts of the same tree, in its node order (see tree_facts.h),
    // shared the same way.
    SharedText facts;
    TreeOrigin origin;
};

// Opens a tree window for a request.
using TreeOpener = std::function<void(const TreeRequest& request)>;

}  // namespace korvantis::ui
