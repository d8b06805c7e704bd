#pragma once
// The values that pitch analysis hands to the record: plain enums, no OpenCV.

namespace pitchlog {

// Always kept and reported in this order.
enum class pitch_type : int { straight, curve, fork, shoot };
inline constexpr int pitch_type_count = 4;

enum class pitcher_hand : int { right = 0, left = 1 };

}  // namespace pitchlog
