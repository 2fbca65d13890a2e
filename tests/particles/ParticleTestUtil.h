// Helpers for the particle tests: a small emitter kind and affector of their
// own (the framework's kinds are tested elsewhere), a package serving byte
// vectors, an object-serializator stub, and a hash of particle state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/Package.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

namespace ZynTest {

/// Emits at the instance position with a fixed velocity, `m_fRate` particles
/// per second of effect time, through the common accumulator frame. Records
/// every EmittParticles window.
class TestEmitter : public Zyn::ParticleEmitter {
    ZYN_DECLARE_CLASS(TestEmitter)

public:
    explicit TestEmitter(const char* name = "test") : Zyn::ParticleEmitter(name) {}
    ZYN_STATIC_CREATE(TestEmitter)

    void EmittParticles(float from, float to, Zyn::EmitterDesc& desc,
                        Zyn::ParticleEffectInstance* instance) override {
        m_Calls.emplace_back(from, to);
        const float start = from > m_fEmittStart ? from : m_fEmittStart;
        const float end = to < m_fEmittEnd ? to : m_fEmittEnd;
        if (end - start > 0.0f) desc.m_fAccumulator += (end - start) * m_fRate * ms_ParDetail;
        const Zyn::u32 n = TakeEmitCount(desc);
        const Zyn::Point3D<float> at = instance ? instance->GetPosition() : Zyn::Point3D<float>();
        for (Zyn::u32 i = 0; i < n; ++i) {
            Zyn::Particle* p = GenerateParticle(end);
            if (!p) break;
            p->m_fX = at.x;
            p->m_fY = at.y;
            p->m_fVX = m_Velocity.x;
            p->m_fVY = m_Velocity.y;
            AddParticle(desc, p);
        }
        desc.m_fAccumulator -= float(n);
    }

    Zyn::Object* DuplicateObject(const char* name) override {
        TestEmitter* copy = new TestEmitter(name);
        copy->m_fRate = m_fRate;
        copy->m_Velocity = m_Velocity;
        DuplicateEmitter(copy);
        return copy;
    }

    bool Save(Zyn::ObjectSerializator& s) override {
        if (s.GetFile()->Write32(&m_fRate, 1) != 1) return false;
        return ParticleEmitter::Save(s);
    }
    bool Load(Zyn::ObjectSerializator& s) override {
        if (s.GetFile()->Read32(&m_fRate, 1) != 1) return false;
        return ParticleEmitter::Load(s);
    }

    float m_fRate = 100.0f;
    Zyn::Point2D<float> m_Velocity;
    std::vector<std::pair<float, float>> m_Calls;
};

/// Records the time of every application.
class TestAffector : public Zyn::ParticleAffector {
    ZYN_DECLARE_CLASS(TestAffector)

public:
    explicit TestAffector(const char* name = "affector") : Zyn::ParticleAffector(name) {}
    ZYN_STATIC_CREATE(TestAffector)
    void AffectParticles(Zyn::EmitterDesc& desc, float time, Zyn::ParticleEffectInstance*) override {
        m_Times.push_back(time);
        for (Zyn::Particle* p = desc.m_pFirst; p; p = p->m_pNext)
            if (IsAffected(*p)) p->m_fVX += 1.0f;
    }
    std::vector<float> m_Times;
};

/// Serves named byte vectors; mount with Mount(), which the destructor undoes.
class BytesPackage : public Zyn::Package {
public:
    BytesPackage() : Zyn::Package("bytes") {}
    Zyn::File* OpenFile(const char* name) override {
        auto it = m_Files.find(name);
        if (it == m_Files.end()) return nullptr;
        return new Zyn::VectorFile(it->second);
    }
    std::map<std::string, std::vector<unsigned char>> m_Files;
};

class ScopedPackage {
public:
    ScopedPackage() : m_pPackage(new BytesPackage) {
        m_pPackage->AddRef();
        Zyn::Singleton<Zyn::Root>::Get()->InsertObject(m_pPackage, Zyn::Root::kPackages, 0, nullptr);
    }
    ~ScopedPackage() {
        Zyn::Singleton<Zyn::Root>::Get()->RemoveObject(m_pPackage, Zyn::Root::kPackages);
        m_pPackage->Release();
    }
    BytesPackage* operator->() { return m_pPackage; }

private:
    BytesPackage* m_pPackage;
};

/// An object's own data written or read through a VectorFile; children reported
/// by Save are recorded, not written.
class StreamStub : public Zyn::ObjectSerializator {
public:
    StreamStub() = default;
    explicit StreamStub(std::vector<unsigned char> bytes) : m_File(std::move(bytes)) {}
    Zyn::File* GetFile() override { return &m_File; }
    void SaveChild(Zyn::Object* child, int group) override { m_Children.emplace_back(child, group); }
    void AllChildrenSaved() override {}
    const std::vector<unsigned char>& Bytes() const { return m_File.GetVector(); }

    Zyn::VectorFile m_File;
    std::vector<std::pair<Zyn::Object*, int>> m_Children;
};

/// Appends little-endian values to a byte vector.
struct ByteWriter {
    std::vector<unsigned char> bytes;
    template <class T>
    ByteWriter& Put(T v) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        bytes.insert(bytes.end(), b, b + sizeof(T));
        return *this;
    }
    ByteWriter& Str(const std::string& s) {
        Put(Zyn::u32(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
};

/// FNV-1a over every field of every particle, list order, pointers left out.
inline uint64_t HashParticles(const Zyn::EmitterDesc& desc, uint64_t h = 1469598103934665603ull) {
    for (const Zyn::Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(p);
        const size_t head = offsetof(Zyn::Particle, m_pNext);
        for (size_t i = 0; i < head; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
        for (size_t i = offsetof(Zyn::Particle, m_ColorKey); i < offsetof(Zyn::Particle, m_SpinKey) + 1; ++i)
            h = (h ^ bytes[i]) * 1099511628211ull;
    }
    return h;
}

/// Particles of a descriptor in list order.
inline std::vector<Zyn::Particle*> ListOf(const Zyn::EmitterDesc& desc) {
    std::vector<Zyn::Particle*> out;
    for (Zyn::Particle* p = desc.m_pFirst; p; p = p->m_pNext) out.push_back(p);
    return out;
}

}  // namespace ZynTest
