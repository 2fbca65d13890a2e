#include "TestClasses.h"

namespace ZynTest {

ZYN_IMPLEMENT_ROOT_CLASS(IFirst, "IFirst", nullptr)
ZYN_IMPLEMENT_ROOT_CLASS(ISecond, "ISecond", nullptr)
ZYN_IMPLEMENT_CLASS(Holder, "Holder", &Holder::StaticCreate, nullptr, nullptr, Zyn::DynGroupObject)
ZYN_IMPLEMENT_CLASS3(Multi, "Multi", &Multi::StaticCreate, nullptr, nullptr, Zyn::Object, IFirst, ISecond)
ZYN_IMPLEMENT_CLASS(Ticker, "Ticker", nullptr, nullptr, nullptr, Zyn::Object)

}  // namespace ZynTest
