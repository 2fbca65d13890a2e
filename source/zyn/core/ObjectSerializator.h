// The two sides of an object stream: Serializator for whoever saves or loads
// a whole hierarchy, ObjectSerializator for the objects' own Save and Load.
#pragma once

namespace Zyn {

class Class;
class File;
class Object;

class ObjectSerializator {
public:
    virtual ~ObjectSerializator() = default;
    /// The stream for the object's own data; borrowed.
    virtual File* GetFile() = 0;
    /// Reports a child to be written after the object's data.
    virtual void SaveChild(Object* child, int group) = 0;
    /// No more children follow; later SaveChild calls are ignored.
    virtual void AllChildrenSaved() = 0;
};

class Serializator {
public:
    virtual ~Serializator() = default;
    /// Class record of the stream's root, or null; leaves the stream at 0.
    virtual Class* GetLoadHierarchyRootClass() = 0;
    /// New object owned by the caller (count as the factory left it), or null.
    virtual Object* LoadHierarchy() = 0;
    virtual bool SaveHierarchy(Object* obj) = 0;
};

}  // namespace Zyn
