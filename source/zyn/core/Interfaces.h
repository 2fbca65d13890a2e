// Interfaces: polymorphic bases that are not Objects. Each has a class record
// without parents, so code holding only the interface can ask for its class
// and cast it.
#pragma once

#include <string>

#include <zyn/core/Class.h>

namespace Zyn {

class File;

class ICharEventReceiver {
    ZYN_DECLARE_ROOT_CLASS(ICharEventReceiver)

public:
    virtual ~ICharEventReceiver() = default;
    /// False stops the delivery of this character to later subscribers.
    virtual bool ReceiveCharEvent(int character) = 0;
};

/// Objects that can write themselves out in one or more formats (tools, editors).
class IExportable {
    ZYN_DECLARE_ROOT_CLASS(IExportable)

public:
    virtual ~IExportable() = default;
    virtual unsigned GetExportFormats() = 0;
    /// Fills whichever pointer is not null; an unknown index fills nothing.
    virtual void GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) = 0;
    /// False for an unknown index or a failed write.
    virtual bool Export(unsigned index, File& file) = 0;
};

/// Objects that can read themselves from one or more formats (tools, editors).
class IImportable {
    ZYN_DECLARE_ROOT_CLASS(IImportable)

public:
    virtual ~IImportable() = default;
    virtual unsigned GetImportFormats() = 0;
    /// Fills whichever pointer is not null; an unknown index fills nothing.
    virtual void GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) = 0;
    /// False for an unknown index or input that does not parse.
    virtual bool Import(unsigned index, File& file) = 0;
};

/// Objects that can make a copy of themselves under a new name.
class IDuplicatable {
    ZYN_DECLARE_ROOT_CLASS(IDuplicatable)

public:
    virtual ~IDuplicatable() = default;
    /// A new object owned by the caller (count 0), or null.
    virtual Object* DuplicateObject(const char* name) = 0;
};

/// Objects placed at a point of the logical screen.
class IPositionable {
    ZYN_DECLARE_ROOT_CLASS(IPositionable)

public:
    virtual ~IPositionable() = default;
    virtual Point3D<float> GetPosition() = 0;
    virtual void SetPosition(Point3D<float> position) = 0;
    static void RegisterProps(Class* cls);
};

/// A unit of work run by the background loader.
class ITask {
    ZYN_DECLARE_ROOT_CLASS(ITask)

public:
    virtual ~ITask() = default;
    /// False when the task failed; the loader goes on with the next one.
    virtual bool Execute() = 0;
};

}  // namespace Zyn
