#include "ui/window/clickhouse_menu.h"

#include <QMenu>
#include <QPointer>

#include "ui/look/clickhouse_texts.h"
#include "ui/window/clickhouse_open_dialog.h"
#include "ui/window/clickhouse_send_dialog.h"
#include "ui/window/main_view.h"

namespace korvantis::ui {

namespace {

template <typename Dialog>
void showOne(MainView& view) {
    // The one open already, if any, comes to the front.
    Dialog* dialog = view.findChild<Dialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (dialog == nullptr) {
        dialog = new Dialog(view);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

void addClickHouseActions(QMenu& menu, MainView& view) {
    QObject::connect(menu.addAction(sendToClickHouseMenuText()), &QAction::triggered, &view,
                     [&view] { showOne<ClickHouseSendDialog>(view); });
    QObject::connect(menu.addAction(openFromClickHouseMenuText()), &QAction::triggered, &view,
                     [&view] { showOne<ClickHouseOpenDialog>(view); });
}

}  // namespace korvantis::ui
