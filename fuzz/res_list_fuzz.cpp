// Resource lists: parsed into tasks with the action the first byte names,
// then run; every resource a task loaded is given back afterwards, so that
// nothing stays loaded from one input to the next.
#include <list>
#include <memory>

#include <zyn/core/Class.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/resources/ResListParser.h>
#include <zyn/resources/ResourceTask.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Zyn::ResourceAction action = Zyn::ResourceAction(data[0] % 5);
    Zyn::MemoryFile file(data + 1, unsigned(size - 1));
    std::list<Zyn::ITask*> tasks;
    const int made = Zyn::ResListParser::ParseResourceList(file, action, &tasks);
    ZYN_FUZZ_CHECK(made >= 0 && made <= Zyn::ResListParser::kMaxTasksPerList);
    ZYN_FUZZ_CHECK(size_t(made) == tasks.size());
    // A listed resource takes a line of eight characters at least.
    ZYN_FUZZ_CHECK(size_t(made) * 8 <= size - 1);
    for (Zyn::ITask* t : tasks) {
        std::unique_ptr<Zyn::ResourceTask> task(static_cast<Zyn::ResourceTask*>(t));
        ZYN_FUZZ_CHECK(task->GetResourceClass() && task->GetResourceClass()->GetResourceManager());
        ZYN_FUZZ_CHECK(task->GetAction() == action);
        if (!task->Execute() || action != Zyn::RA_Load) continue;
        // A resource that failed to load counts as loaded too (its class's
        // null resource): only a managed one can be given back by name.
        Zyn::Class* cls = task->GetResourceClass();
        if (!cls->GetResourceManager()->FindObject(task->GetResourceName().c_str(), cls, -3)) continue;
        Zyn::ResourceTask release(task->GetResourceName().c_str(), cls, Zyn::RA_Release);
        ZYN_FUZZ_CHECK(release.Execute());
    }
    return 0;
}
