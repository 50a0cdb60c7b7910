// Random texts through every helper that reads network input, with guard pages on both sides.
#include "tests/guarded_buffer.h"
#include "text/escapes.h"
#include "text/numbers.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Units that steer the helpers into their interesting paths, and some that do not.
const wchar_t kAlphabet[] = L"\\\\\\uuuU0123456789abcdefABCDEFxX\"'/.+-eE btnrf\t\r\n\x01\x7F\u4E2D\xD83D\xDE00";

std::wstring randomText(std::mt19937& random, size_t maxLength)
{
    std::uniform_int_distribution<size_t> lengthOf(0, maxLength);
    std::uniform_int_distribution<size_t> pick(0, std::size(kAlphabet) - 2);
    std::uniform_int_distribution<int> anyUnit(0, 0xFFFF);
    std::wstring text(lengthOf(random), L'\0');
    for (wchar_t& unit : text) unit = random() % 16 == 0 ? static_cast<wchar_t>(anyUnit(random)) : kAlphabet[pick(random)];
    return text;
}

void exerciseAll(GuardedUnits& memory, const std::wstring& text)
{
    wchar_t* placed = memory.place(text);
    const std::wstring_view view(placed, text.size());
    (void)classifyNumber(view);
    (void)readDecimal(view);
    (void)readInteger(view);
    const std::wstring encoded = encodeEscapes(view);
    std::wstring decodedBack = encoded;
    decodeEscapes(decodedBack, true);
    ASSERT_EQ(decodedBack, text) << "encode then decode must give the text back";
    const size_t length = decodeEscapes(placed, text.size(), true);
    ASSERT_LE(length, text.size());
}

} // namespace

TEST(TextFuzz, RandomTextsStayInsideTheirBuffers)
{
    GuardedUnits after(GuardedUnits::Guard::After);
    GuardedUnits before(GuardedUnits::Guard::Before);
    ASSERT_TRUE(after.isValid());
    ASSERT_TRUE(before.isValid());
    std::mt19937 random(20261207);
    for (int i = 0; i < 300000; ++i) {
        const std::wstring text = randomText(random, i % 100 == 0 ? 400 : 24);
        exerciseAll(i % 2 ? after : before, text);
        if (HasFatalFailure()) return;
    }
}
