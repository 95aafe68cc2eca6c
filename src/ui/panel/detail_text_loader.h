#pragma once

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>

#include "workspace/workspace.h"

namespace korvantis::ui {

// Makes the detail of a chosen event on a worker thread and hands it to the
// selection: reading a line of hundreds of megabytes again and writing it in
// readable form takes seconds, which the window must not wait for. A choice
// made meanwhile supersedes one that has not started yet.
class DetailTextLoader : public QObject {
    Q_OBJECT
  public:
    explicit DetailTextLoader(Workspace& workspace, QObject* parent = nullptr);
    // Waits for a running worker: it holds a line of the store's logs.
    ~DetailTextLoader() override;

    // Chooses the row of the stored line at `place` in the selection; its
    // detail follows.
    void choose(LinePlace place);

  signals:
    // The detail of a choice has reached the selection.
    void detailReady();

  private:
    Workspace& workspace_;
    QThreadPool pool_;
    std::shared_ptr<std::atomic<std::uint64_t>> latest_ =
        std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace korvantis::ui
