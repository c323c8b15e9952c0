// Vector maths on 3-D and 2-D single-precision vectors. Arithmetic runs in
// long double and is stored as float. The game itself does not use it.
#pragma once

namespace qx {

struct TVector3 {
    float x = 0, y = 0, z = 0;
};

struct TVector2 {
    float x = 0, y = 0;
};

class TVec {
public:
    TVector3 V3(float x, float y, float z) const;
    TVector2 V2(float x, float y) const;
    TVector3 Add(const TVector3& a, const TVector3& b) const;
    TVector3 Sub(const TVector3& a, const TVector3& b) const;
    TVector3 Mul(const TVector3& a, float s) const;
    float Length(const TVector3& a) const;
    float LengthSq(const TVector3& a) const;
    TVector3 Normalize(const TVector3& a) const;   // a zero vector comes back unchanged
    float Dot(const TVector3& a, const TVector3& b) const;
    TVector3 Cross(const TVector3& a, const TVector3& b) const;
    float Angle(const TVector3& a, const TVector3& b) const; // radians, 0..pi
};

} // namespace qx
