// The base of the user-interface elements: an app object placed relative to
// its parent widget, with a size, a label, an event id and child widgets in
// group 0. A widget inserted into an app layer is the root of its tree: its
// position is a screen position and its children's positions add to it.
#pragma once

#include <string>

#include <zyn/core/AppObject.h>
#include <zyn/core/Interfaces.h>

namespace Zyn {

class Widget : public AppObject, public IPositionable {
    ZYN_DECLARE_CLASS(Widget)

public:
    enum Group { kChildren = 0 };

    Widget(const char* name = "", Point3D<float> position = Point3D<float>(), const char* label = nullptr,
           int eventId = 0);
    /// Releases the children.
    ~Widget() override;

    /// The tree from this widget, with no offset. True.
    bool Update(float dt) override;
    /// The tree from this widget, with no offset and no clip rectangle. True.
    bool Render(float dt) override;

    virtual int GetEventID() { return m_EventID; }
    virtual void SetEventID(int id) { m_EventID = id; }
    Point3D<float> GetPosition() override { return m_Position; }
    void SetPosition(Point3D<float> position) override { m_Position = position; }
    virtual void SetSize(Point2D<float> size) { m_Size = size; }
    virtual Point2D<float> GetSize() { return m_Size; }
    /// Borrowed; valid while the widget lives and the label is not set again.
    virtual const std::string& GetLabel() { return m_Label; }
    virtual void SetLabel(std::string label) { m_Label = std::move(label); }
    /// Updates the children in list order with offset + position; stops at
    /// the first child that returns false. True.
    virtual bool UpdateOffset(float dt, Point3D<float> offset);
    /// Draws the children from the back of the list to the front (the first
    /// child ends on top) with offset + position; clip is handed down as it
    /// came and no widget here applies it. True.
    virtual bool RenderOffset(float dt, Point3D<float> offset, const Rect<float>* clip);

    StdListDynGroup<Widget>& GetChildren() { return m_Children; }

    static void RegisterProps(Class* cls);

protected:
    /// Sends an event of the kind (the address of its global) with the event id.
    /// Returns the first non-zero answer of a parent. May destroy the widget.
    int SendWidgetEvent(const int* kind);
    static Point3D<float> Add(Point3D<float> a, Point3D<float> b) {
        return Point3D<float>(a.x + b.x, a.y + b.y, a.z + b.z);
    }

    Point3D<float> m_Position;
    Point2D<float> m_Size{100.0f, 100.0f};
    std::string m_Label;
    StdListDynGroup<Widget> m_Children;
    s32 m_EventID;
};

}  // namespace Zyn
