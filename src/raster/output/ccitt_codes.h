// The code words of CCITT fax coding (ITU-T T.4 and T.6), as compile-time tables. Each word is
// written as its bits so that the tables read like the recommendation's.
#pragma once

#include <array>
#include <cstdint>

namespace pw::ccitt {

/// A code word: its bits in the low `length` bits of `bits`, first bit most significant.
struct Code {
  uint32_t bits = 0;
  int length = 0;
};

constexpr Code word(const char* text) {
  Code code;
  for (; *text != 0; ++text) {
    code.bits = code.bits << 1 | (*text == '1' ? 1u : 0u);
    ++code.length;
  }
  return code;
}

/// Both words at once, first then second, for runs of a make-up and a terminating word.
constexpr Code join(Code first, Code second) {
  return {first.bits << second.length | second.bits, first.length + second.length};
}

inline constexpr Code kEol = word("000000000001");
inline constexpr Code kPass = word("0001");
inline constexpr Code kHorizontal = word("001");
/// Vertical mode by a1 - b1, from -3 (VL3) to 3 (VR3), at index a1 - b1 + 3.
inline constexpr std::array<Code, 7> kVertical = {
    word("0000010"), word("000010"), word("010"),     word("1"),
    word("011"),     word("000011"), word("0000011"),
};

/// Runs of 0 to 63 pixels.
inline constexpr std::array<Code, 64> kWhiteTerminating = {
    word("00110101"), word("000111"),   word("0111"),     word("1000"),     word("1011"),
    word("1100"),     word("1110"),     word("1111"),     word("10011"),    word("10100"),
    word("00111"),    word("01000"),    word("001000"),   word("000011"),   word("110100"),
    word("110101"),   word("101010"),   word("101011"),   word("0100111"),  word("0001100"),
    word("0001000"),  word("0010111"),  word("0000011"),  word("0000100"),  word("0101000"),
    word("0101011"),  word("0010011"),  word("0100100"),  word("0011000"),  word("00000010"),
    word("00000011"), word("00011010"), word("00011011"), word("00010010"), word("00010011"),
    word("00010100"), word("00010101"), word("00010110"), word("00010111"), word("00101000"),
    word("00101001"), word("00101010"), word("00101011"), word("00101100"), word("00101101"),
    word("00000100"), word("00000101"), word("00001010"), word("00001011"), word("01010010"),
    word("01010011"), word("01010100"), word("01010101"), word("00100100"), word("00100101"),
    word("01011000"), word("01011001"), word("01011010"), word("01011011"), word("01001010"),
    word("01001011"), word("00110010"), word("00110011"), word("00110100"),
};

inline constexpr std::array<Code, 64> kBlackTerminating = {
    word("0000110111"),   word("010"),          word("11"),           word("10"),
    word("011"),          word("0011"),         word("0010"),         word("00011"),
    word("000101"),       word("000100"),       word("0000100"),      word("0000101"),
    word("0000111"),      word("00000100"),     word("00000111"),     word("000011000"),
    word("0000010111"),   word("0000011000"),   word("0000001000"),   word("00001100111"),
    word("00001101000"),  word("00001101100"),  word("00000110111"),  word("00000101000"),
    word("00000010111"),  word("00000011000"),  word("000011001010"), word("000011001011"),
    word("000011001100"), word("000011001101"), word("000001101000"), word("000001101001"),
    word("000001101010"), word("000001101011"), word("000011010010"), word("000011010011"),
    word("000011010100"), word("000011010101"), word("000011010110"), word("000011010111"),
    word("000001101100"), word("000001101101"), word("000011011010"), word("000011011011"),
    word("000001010100"), word("000001010101"), word("000001010110"), word("000001010111"),
    word("000001100100"), word("000001100101"), word("000001010010"), word("000001010011"),
    word("000000100100"), word("000000110111"), word("000000111000"), word("000000100111"),
    word("000000101000"), word("000001011000"), word("000001011001"), word("000000101011"),
    word("000000101100"), word("000001011010"), word("000001100110"), word("000001100111"),
};

/// Runs of 64 to 1728 pixels in steps of 64, at index run / 64 - 1.
inline constexpr std::array<Code, 27> kWhiteMakeUp = {
    word("11011"),     word("10010"),     word("010111"),    word("0110111"),   word("00110110"),
    word("00110111"),  word("01100100"),  word("01100101"),  word("01101000"),  word("01100111"),
    word("011001100"), word("011001101"), word("011010010"), word("011010011"), word("011010100"),
    word("011010101"), word("011010110"), word("011010111"), word("011011000"), word("011011001"),
    word("011011010"), word("011011011"), word("010011000"), word("010011001"), word("010011010"),
    word("011000"),    word("010011011"),
};

inline constexpr std::array<Code, 27> kBlackMakeUp = {
    word("0000001111"),    word("000011001000"),  word("000011001001"),  word("000001011011"),
    word("000000110011"),  word("000000110100"),  word("000000110101"),  word("0000001101100"),
    word("0000001101101"), word("0000001001010"), word("0000001001011"), word("0000001001100"),
    word("0000001001101"), word("0000001110010"), word("0000001110011"), word("0000001110100"),
    word("0000001110101"), word("0000001110110"), word("0000001110111"), word("0000001010010"),
    word("0000001010011"), word("0000001010100"), word("0000001010101"), word("0000001011010"),
    word("0000001011011"), word("0000001100100"), word("0000001100101"),
};

/// Runs of 1792 to 2560 pixels in steps of 64, the same for both colours.
inline constexpr std::array<Code, 13> kExtendedMakeUp = {
    word("00000001000"),  word("00000001100"),  word("00000001101"),  word("000000010010"),
    word("000000010011"), word("000000010100"), word("000000010101"), word("000000010110"),
    word("000000010111"), word("000000011100"), word("000000011101"), word("000000011110"),
    word("000000011111"),
};

/// The longest run one make-up word codes.
inline constexpr int kMaxMakeUp = 2560;

/// One colour's words: terminating words by run, make-up words by run / 64 - 1 up to 2560.
struct RunCodes {
  std::array<Code, 64> terminating;
  std::array<Code, kMaxMakeUp / 64> makeUp;
};

constexpr RunCodes runCodes(const std::array<Code, 64>& terminating,
                            const std::array<Code, 27>& makeUp) {
  RunCodes codes{terminating, {}};
  for (size_t i = 0; i < makeUp.size(); ++i) codes.makeUp[i] = makeUp[i];
  for (size_t i = 0; i < kExtendedMakeUp.size(); ++i) {
    codes.makeUp[makeUp.size() + i] = kExtendedMakeUp[i];
  }
  return codes;
}

inline constexpr RunCodes kWhiteRuns = runCodes(kWhiteTerminating, kWhiteMakeUp);
inline constexpr RunCodes kBlackRuns = runCodes(kBlackTerminating, kBlackMakeUp);

}  // namespace pw::ccitt
