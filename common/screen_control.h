// ScreenControlBlock: the data of CMD_SCREEN_CONTROL (0x84), one definition for Vantor, Kelvra and
// ledcard-sim.
//
//   408 bytes = 102 u32 LE words, zero except those a sender sets
//   word 0   sub-command (Sub)
//   word 1   0, except for sub-command 1 where it selects the operation (TestOp)
//   word 2.. the sub-command's values (for the smart-setup operation, word 2 is its step, SmartStep)
//
// Kelvra's brightness sends a short block of 12 bytes (2, value, value); decode() reads any length,
// taking missing words as 0. The table of sub-commands and their answers is in docs/protocol.md.
// Pure functions over bytes; safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace screen_control {

inline constexpr std::size_t kWords = 102;
inline constexpr std::size_t kSize = 408;
static_assert(kSize == kWords * 4);

// Word 0.
enum class Sub : std::uint32_t {
    Test = 1,  // patterns and the screen parameters; word 1 says which (TestOp)
    Brightness = 2,
    Gamma = 3,  // words 2..4: red, green, blue as f32
    FactoryRestore = 4,
    GrayLevel = 5,  // gray value, refresh code, depth code
    OePolarity = 6,
    ScanClock = 7,
    DutyCycle = 8,
    WizardHiddenControl = 9,
    DataPolarity = 11,
    LineGroup = 12,
    LineInterval = 13,
    DecoderType = 15,
    LitPoint = 16,
    HorizontalShift = 19,
    ScanCode = 20,
    DecodeOrderWords = 21,  // the last 8 and first 6 characters of the row-decode order, read as hex
    ApplyConfig = 23,       // apply the received "Config.sys"
    HubType = 24,
    DecodeOrderClass = 25,
};

// Word 1 of Sub::Test.
enum class TestOp : std::uint32_t {
    Grid = 2,
    Gray = 3,
    SmartSetup = 7,  // word 2 is the step (SmartStep)
    ModuleTest = 8,  // Kelvra's TestLedModule
    Stop = 241,
};

// Word 2 of TestOp::SmartSetup.
enum class SmartStep : std::uint32_t {
    DataPolarityState = 1,
    OeState = 2,
    Colour = 3,
    RowPattern = 4,
    TracePoint = 5,
    LineCross = 6,
    ScreenParams = 7,  // bytes 12..63: ScreenParams bytes 8..59
    TestLine = 8,
};

inline constexpr std::size_t kScreenParamsOffset = 12;  // bytes of SmartStep::ScreenParams

using Words = std::array<std::uint32_t, kWords>;

// A block: sub-command `sub`, word 1 = 0, `values` from word 2 (at most 100 are taken).
Words make(Sub sub, std::initializer_list<std::uint32_t> values = {});
// Sub::Test with operation `op` and `values` from word 2.
Words make_test(TestOp op, std::initializer_list<std::uint32_t> values = {});
// The smart-setup operation: 1, 7, `step`, then `values` from word 3.
Words make_smart(SmartStep step, std::initializer_list<std::uint32_t> values = {});

// The 408 bytes of a block.
std::array<std::uint8_t, kSize> encode(const Words& words);

// The words of `data`: as many whole words as it holds (at most 102), the rest 0.
Words decode(std::span<const std::uint8_t> data);

// Whether a card answers the block with a 0xC4 status: the settings a sender checks, and the
// smart-setup operations except the traced point. Brightness, gamma, factory restore, applying the
// configuration, the test dialog's patterns and unknown sub-commands go unanswered.
bool answered(const Words& words);

}  // namespace screen_control
