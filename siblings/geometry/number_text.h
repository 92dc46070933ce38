// Limits of qpConvertFloat2String (number_text.cpp gives the rules).
#pragma once

namespace qpnumber {

constexpr int kNumberTextSize = 32;             // bytes the output must hold
constexpr double kThreeDecimalLimit = 1e12;     // below: up to three decimals
constexpr double kWholeOnlyLimit = 1e27;        // from here on: "0"

}  // namespace qpnumber
