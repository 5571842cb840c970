#pragma once

namespace brivola
{

/** 2π, shared by every part of the engine that works in radians. */
inline constexpr double twoPi = 6.283185307179586;

} // namespace brivola
