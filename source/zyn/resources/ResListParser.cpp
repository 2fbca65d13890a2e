#include <zyn/resources/ResListParser.h>

#include <cstring>
#include <string>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>
#include <zyn/io/File.h>

namespace Zyn {

namespace {

// One line as ReadLine cuts it: 255 characters, the rest comes as the next line.
const unsigned kLineBuffer = 256;
const size_t kMinLine = 5;
const size_t kMinClassName = 3;
const size_t kMinAfterColon = 4;

}  // namespace

int ResListParser::ParseResourceList(File& file, ResourceAction action, std::list<ITask*>* tasks) {
    char line[kLineBuffer];
    int made = 0;
    while (!file.IsEnd()) {
        const unsigned before = file.Seek(0, 1);
        const unsigned read = file.ReadLine(line, sizeof line);
        // A stream that neither advances nor ends must not keep us here.
        if (read == 0 && !file.IsEnd() && file.Seek(0, 1) == before) break;

        // Names are C strings: a NUL byte ends the line's text.
        const size_t length = strnlen(line, read);
        if (length < kMinLine) continue;
        const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
        if (!colon) continue;
        const size_t classLength = size_t(colon - line);
        if (classLength < kMinClassName || length - classLength - 1 < kMinAfterColon) continue;

        const std::string className(line, classLength);
        // The character right after the colon separates the two names.
        const std::string resourceName(colon + 2, length - classLength - 2);

        Class* cls = Class::FindClass(className.c_str());
        if (!cls) {
            LogSend(kLogWarning, "ResListParser::ParseResourceList -> Can't find class <%s>",
                    className.c_str());
            continue;
        }
        if (!cls->GetResourceManager()) {
            LogSend(kLogWarning, "ResListParser::ParseResourceList -> <%s> is not a resource class",
                    className.c_str());
            continue;
        }
        if (made >= kMaxTasksPerList) {
            LogSend(kLogWarning,
                    "ResListParser::ParseResourceList -> more than %d resources listed, the rest is ignored",
                    kMaxTasksPerList);
            break;
        }

        ResourceTask* task = new ResourceTask(resourceName.c_str(), cls, action);
        ++made;
        if (tasks) {
            tasks->push_back(task);
        } else {
            (void)task->Execute();
            delete task;
        }
    }
    return made;
}

}  // namespace Zyn
