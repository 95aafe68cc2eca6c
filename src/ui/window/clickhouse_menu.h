#pragma once

class QMenu;

namespace korvantis::ui {

class MainView;

// Adds File > Send to ClickHouse… and File > Open from ClickHouse… to
// `menu`; each shows its dialog (one of each per window at a time, not
// blocking the window).
void addClickHouseActions(QMenu& menu, MainView& view);

}  // namespace korvantis::ui
