// Resource lists: text files naming resources by class, one per line, as
//   <class name>:<one separator character><resource name to the line end>
// Both names are taken verbatim. Lines shorter than 5 characters, without a
// colon, with a class name shorter than 3 characters or with fewer than 4
// characters after the colon are skipped without a message.
#pragma once

#include <list>

#include <zyn/resources/ResourceTask.h>

namespace Zyn {

class File;
class ITask;

class ResListParser {
public:
    /// Most tasks one list may make; the lines after them are ignored (logged),
    /// so that a runaway file cannot exhaust memory.
    static constexpr int kMaxTasksPerList = 65536;

    /// Reads the list to its end and makes one ResourceTask with `action` per
    /// resource line. With a list, the tasks are appended to it and the list
    /// owns them; without one, each task is executed at once and deleted.
    /// Unknown classes and classes without a resource manager are logged and
    /// skipped. Returns the number of tasks made.
    static int ParseResourceList(File& file, ResourceAction action, std::list<ITask*>* tasks);
};

}  // namespace Zyn
