#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace korvantis {
class EventKeeper;
}

namespace korvantis::ui {

// Opens a tree window for a tree URL text. The text is handed on exactly as
// made ("KorvantisTree://" + base64); it is never parsed as a QUrl, which
// would lower-case and reject parts of the payload.
using TreeOpener = std::function<void(const QString& urlText)>;

// The content of a main window: owns the window's event store and arranges
// the top bar and the two event panels.
class MainView : public QWidget {
    Q_OBJECT
public:
    explicit MainView(TreeOpener openTree, QWidget* parent = nullptr);
    ~MainView() override;

    EventKeeper& store();

    // The rest is defined by the main-window work.
};

}  // namespace korvantis::ui
