#include <gtest/gtest.h>

#include <zyn/core/Interfaces.h>
#include <zyn/core/Property.h>

using namespace Zyn;

namespace {

class Placed : public Object, public IPositionable {
public:
    Placed() : Object("placed") {}
    Class* GetClass() override { return &sm_Record; }
    void* CastMeToClass(Class* cls) override { return sm_Record.DownCast(static_cast<Object*>(this), cls); }
    Point3D<float> GetPosition() override { return m_Pos; }
    void SetPosition(Point3D<float> p) override { m_Pos = p; }
    Point3D<float> m_Pos;
    static CppClass sm_Record;
};

CppClass Placed::sm_Record("TestPlaced", nullptr, nullptr, nullptr, 2, &Object::sm_Class, 0, &IPositionable::sm_Class,
                           ZYN_OFFSET(Placed, IPositionable));

}  // namespace

TEST(Interfaces, PositionPropertyReachesThroughTheInterfaceOffset) {
    Placed p;
    ValueProperty* prop = FindValueProperty(&Placed::sm_Record, "Position");
    ASSERT_NE(prop, nullptr);
    std::string text = "1, 2.5, -3";
    EXPECT_TRUE(prop->SetValue(&p, text));
    EXPECT_EQ(p.m_Pos, Point3D<float>(1.f, 2.5f, -3.f));
    EXPECT_EQ(prop->GetValue(&p), "1.00, 2.50, -3.00");
    // An object without the interface is refused with the error line.
    Object plain("plain");
    EXPECT_FALSE(prop->SetValue(&plain, text));
}
