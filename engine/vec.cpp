// Vector maths.
#include "engine/vec.h"

#include <algorithm>
#include <cmath>

namespace qx {

using Wide = long double;

TVector3 TVec::V3(float x, float y, float z) const { return {x, y, z}; }
TVector2 TVec::V2(float x, float y) const { return {x, y}; }

TVector3 TVec::Add(const TVector3& a, const TVector3& b) const {
    return {static_cast<float>(Wide{a.x} + b.x), static_cast<float>(Wide{a.y} + b.y),
            static_cast<float>(Wide{a.z} + b.z)};
}

TVector3 TVec::Sub(const TVector3& a, const TVector3& b) const {
    return {static_cast<float>(Wide{a.x} - b.x), static_cast<float>(Wide{a.y} - b.y),
            static_cast<float>(Wide{a.z} - b.z)};
}

TVector3 TVec::Mul(const TVector3& a, float s) const {
    return {static_cast<float>(Wide{a.x} * s), static_cast<float>(Wide{a.y} * s),
            static_cast<float>(Wide{a.z} * s)};
}

float TVec::LengthSq(const TVector3& a) const {
    return static_cast<float>(Wide{a.x} * a.x + Wide{a.y} * a.y + Wide{a.z} * a.z);
}

float TVec::Length(const TVector3& a) const {
    return static_cast<float>(std::sqrt(Wide{a.x} * a.x + Wide{a.y} * a.y + Wide{a.z} * a.z));
}

TVector3 TVec::Normalize(const TVector3& a) const {
    const Wide length = std::sqrt(Wide{a.x} * a.x + Wide{a.y} * a.y + Wide{a.z} * a.z);
    if (length == 0) return a;
    const Wide inverse = 1 / length;
    return {static_cast<float>(a.x * inverse), static_cast<float>(a.y * inverse),
            static_cast<float>(a.z * inverse)};
}

float TVec::Dot(const TVector3& a, const TVector3& b) const {
    return static_cast<float>(Wide{a.x} * b.x + Wide{a.y} * b.y + Wide{a.z} * b.z);
}

TVector3 TVec::Cross(const TVector3& a, const TVector3& b) const {
    return {static_cast<float>(Wide{a.y} * b.z - Wide{a.z} * b.y),
            static_cast<float>(Wide{a.z} * b.x - Wide{a.x} * b.z),
            static_cast<float>(Wide{a.x} * b.y - Wide{a.y} * b.x)};
}

float TVec::Angle(const TVector3& a, const TVector3& b) const {
    // Rounding can push the cosine of nearly parallel or opposite vectors just
    // past +-1; clamping keeps those at 0 and pi rather than folding both to 0.
    const Wide c = std::clamp<Wide>(Dot(Normalize(a), Normalize(b)), -1, 1);
    return static_cast<float>(std::atan2(std::sqrt(1 - c * c), c));
}

} // namespace qx
