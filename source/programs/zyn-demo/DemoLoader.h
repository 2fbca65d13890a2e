// The loading screen: the framework's AppLoaderLayer, which runs the tasks of
// a resource list on a worker thread and draws the progress bar, plus a
// title, a status line and a spinning medal. The tasks are metered through a
// TaskGate (see there); in lockstep the frame thread also waits each frame
// until the worker has done every task let through, so exports repeat.
//
// While the worker runs, the frame thread must leave the resource managers
// alone: this layer only draws what it took before loading began.
#pragma once

#include <functional>
#include <memory>

#include <zyn/app/AppLoaderLayer.h>
#include <zyn/core/Object.h>

namespace Zyn {
class Font;
class Texture;
}  // namespace Zyn

namespace Demo {

class TaskGate;

class DemoLoader : public Zyn::AppLoaderLayer {
    ZYN_DECLARE_CLASS(DemoLoader)

public:
    /// onFinish runs on the frame thread once loading has finished and the
    /// click was seen; secondsPerTask is the pace at which tasks may start.
    DemoLoader(std::function<void()> onFinish, float secondsPerTask, bool lockstep);
    /// Shuts the gate so that a waiting worker gives up, then the base class
    /// cancels and joins it.
    ~DemoLoader() override;

    /// Turns every line of the resource list into a load task behind the
    /// gate. Returns the number of tasks held; call before StartThread.
    int AddMeteredList(const char* listName);

    /// Lets the next tasks through, then the base class waits for the click.
    bool Update(float dt) override;
    /// The bar, then the texts and the medal. True.
    bool Render(float dt) override;
    /// Runs onFinish once. True.
    bool OnLoadFinish() override;

    bool IsComplete() const { return GetTaskCount() > 0 && GetDoneCount() == GetTaskCount(); }
    bool HasFinished() const { return m_bFinished; }

    /// How long the frame thread waits in lockstep before it gives up.
    static constexpr float kLockstepTimeoutSeconds = 30.0f;

private:
    void WaitForWorker(unsigned count);

    std::function<void()> m_OnFinish;
    // Shared with the tasks: it lives until the last of them is deleted.
    std::shared_ptr<TaskGate> m_pGate;
    Zyn::Ref<Zyn::Font> m_Font;
    Zyn::Ref<Zyn::Texture> m_Medals;
    float m_fSecondsPerTask;
    bool m_bLockstep;
    bool m_bFinished = false;
    float m_fClock = 0.0f;
};

}  // namespace Demo
