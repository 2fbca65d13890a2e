// Helpers shared by the emitter kinds and affectors, internal to the particle
// layer: the emission frame of the continuous kinds (the part of [from, to]
// inside the emit window adds rate x detail particles per second to the
// descriptor's accumulator) and the instance's frame.
#pragma once

#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

struct EmitWindow {
    float m_fStart;
    float m_fEnd;

    EmitWindow(float from, float to, float emitStart, float emitEnd)
        : m_fStart(from > emitStart ? from : emitStart), m_fEnd(to < emitEnd ? to : emitEnd) {}

    bool IsOpen() const { return m_fEnd - m_fStart > 0.0f; }

    /// Adds what the window owes and returns the whole particles to emit
    /// now, bounded by the room desc has left in this update. The caller
    /// subtracts the returned count once it is done.
    u32 Accumulate(EmitterDesc& desc, float rate) const {
        if (IsOpen()) desc.m_fAccumulator += (m_fEnd - m_fStart) * rate * ParticleEmitter::ms_ParDetail;
        return ParticleEmitter::TakeEmitCount(desc);
    }
};

/// Where particles are born and affectors centre: the instance's own
/// position, not what a derived instance answers through the virtual
/// GetPosition (a sine-move instance answers the centre of its orbit there).
/// Null instance: the origin.
inline Point3D<float> InstancePosition(ParticleEffectInstance* instance) {
    return instance ? instance->ParticleEffectInstance::GetPosition() : Point3D<float>();
}

inline float InstanceRotation(ParticleEffectInstance* instance) {
    return instance ? instance->GetRotation() : 0.0f;
}

}  // namespace Zyn
