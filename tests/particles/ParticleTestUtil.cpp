#include "ParticleTestUtil.h"

namespace ZynTest {

ZYN_IMPLEMENT_CLASS(TestEmitter, "TestEmitter", &TestEmitter::StaticCreate, nullptr, nullptr,
                    Zyn::ParticleEmitter)
ZYN_IMPLEMENT_CLASS(TestAffector, "TestAffector", &TestAffector::StaticCreate, nullptr, nullptr,
                    Zyn::ParticleAffector)

}  // namespace ZynTest
