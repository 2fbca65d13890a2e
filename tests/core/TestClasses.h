// Small reflected classes for the object runtime tests.
#pragma once

#include <vector>

#include <zyn/core/Class.h>
#include <zyn/core/DynGroupObject.h>
#include <zyn/core/Interfaces.h>

namespace ZynTest {

class IFirst {
    ZYN_DECLARE_ROOT_CLASS(IFirst)
public:
    virtual ~IFirst() = default;
    int m_FirstValue = 11;
};

class ISecond {
    ZYN_DECLARE_ROOT_CLASS(ISecond)
public:
    virtual ~ISecond() = default;
    int m_SecondValue = 22;
};

/// Two-group parent: group 0 and 1 both take any Object and hold references.
class Holder : public Zyn::DynGroupObject {
    ZYN_DECLARE_CLASS(Holder)
public:
    explicit Holder(const char* name = "holder") : Zyn::DynGroupObject(name) {
        SetGroupCount(2);
        SetupGroup(0, &m_A);
        SetupGroup(1, &m_B);
    }
    ~Holder() override { ClearGroups(); }
    ZYN_STATIC_CREATE(Holder)
    int ProcessEvent(Zyn::Event& e) override {
        m_Events.push_back(e.m_ID);
        return m_EventResult;
    }
    Zyn::StdListDynGroup<Zyn::Object> m_A;
    Zyn::StdListDynGroup<Zyn::Object> m_B;
    std::vector<int> m_Events;
    int m_EventResult = 0;
};

/// An object with two interfaces at non-zero offsets; counts destructions.
class Multi : public Zyn::Object, public IFirst, public ISecond {
    ZYN_DECLARE_CLASS(Multi)
public:
    explicit Multi(const char* name = "multi") : Zyn::Object(name) {}
    ~Multi() override { ++ms_Destroyed; }
    ZYN_STATIC_CREATE(Multi)
    static inline int ms_Destroyed = 0;
};

/// Returns a fixed Update result and records its ticks.
class Ticker : public Zyn::Object {
    ZYN_DECLARE_CLASS(Ticker)
public:
    explicit Ticker(const char* name = "ticker", bool result = true) : Zyn::Object(name), m_Result(result) {}
    bool Update(float dt) override {
        m_Ticks.push_back(dt);
        return m_Result;
    }
    std::vector<float> m_Ticks;
    bool m_Result;
};

}  // namespace ZynTest
