// A task that loads, releases or reloads one named resource through the
// manager of its class. Tasks run on the loader's worker or at once on the
// caller's thread; managers take no locks, so while a task runs nobody else
// may request or release resources of the same manager.
#pragma once

#include <string>

#include <zyn/core/Interfaces.h>
#include <zyn/core/Types.h>

namespace Zyn {

class Class;

/// Any other value makes a task that does nothing and fails.
enum ResourceAction : s32 { RA_Load = 1, RA_Release = 2, RA_Reload = 3 };

class ResourceTask : public ITask {
public:
    /// Copies the name (null is taken as empty). Creates the class's manager
    /// now, on the calling thread: a new manager enters the Root's groups,
    /// which must never happen on the worker.
    ResourceTask(const char* name, Class* cls, ResourceAction action);

    /// Load: the manager's GetResource; the reference it gives stays held, so
    /// a loaded resource stays in memory. Release: gives one reference back to
    /// the resource the manager finds by name. Reload: the manager reloads the
    /// resource in place (its result is not looked at). False for an empty
    /// name, a class without manager, an unknown action, a failed load or a
    /// resource the manager does not hold.
    bool Execute() override;

    const std::string& GetResourceName() const { return m_Name; }
    Class* GetResourceClass() const { return m_pClass; }
    ResourceAction GetAction() const { return m_Action; }

private:
    std::string m_Name;
    Class* m_pClass;  // borrowed; class records live for the whole run
    ResourceAction m_Action;
};

}  // namespace Zyn
