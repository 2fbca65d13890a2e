// A layer that runs resource tasks on a worker thread while it draws a
// progress bar, then waits for a press of key code 1 before it reports the
// end of loading through OnLoadFinish. Texture uploads happen on the worker
// in a GL context that shares textures with the frame thread's.
//
// Rules for the owner: add lists and tasks, then StartThread. From then until
// OnLoadFinish the frame thread must not request, release or draw resources
// of the managers the tasks use (managers take no locks); it only updates and
// renders this layer. The task list does not change while the worker runs.
#pragma once

#include <atomic>
#include <list>

#include <zyn/core/AppObject.h>
#include <zyn/resources/Thread.h>

namespace Zyn {

class ITask;

class AppLoaderLayer : public AppObject, public Thread {
    ZYN_DECLARE_CLASS(AppLoaderLayer)

public:
    explicit AppLoaderLayer(const char* name = "");
    /// A running worker is cancelled after its current task and joined; then
    /// every task is deleted.
    ~AppLoaderLayer() override;

    /// Parses the list file (opened through the packages) into load tasks.
    /// Returns the number of tasks held, also when the file did not open.
    /// Nothing is added while the worker runs (logged).
    int AddResListFile(const char* fileName);
    /// Takes ownership of the task and appends it; null is ignored. A task
    /// offered while the worker runs is deleted (logged). Returns the number
    /// of tasks held.
    int AddTask(ITask* task);

    /// True until every task is done and key code 1 went down during the last
    /// frame with input unlocked; then joins the worker and returns OnLoadFinish().
    bool Update(float dt) override;
    /// Clears the screen and draws the bar: grey, filled in light grey by the
    /// share of tasks done, white once all are done.
    bool Render(float dt) override;
    /// Called on the frame thread once loading has finished and the worker has
    /// been joined: resources may be used from here on. Its result is Update's.
    virtual bool OnLoadFinish();
    /// The worker: every task in order inside the shared GL context, counting
    /// each as done (failed or not), until the list ends or the layer is
    /// cancelled. Returns the number of tasks done.
    int ThreadFunction() override;

    /// Tasks executed so far; may be read on any thread.
    u32 GetDoneCount() const { return m_DoneCount.load(std::memory_order_acquire); }
    unsigned GetTaskCount() const { return unsigned(m_Tasks.size()); }

protected:
    std::list<ITask*> m_Tasks;  // owned
    // Written by the worker, read by the frame thread.
    std::atomic<u32> m_DoneCount{0};
    // Written by the frame thread, read by the worker between tasks.
    std::atomic<bool> m_bCancel{false};
};

}  // namespace Zyn
