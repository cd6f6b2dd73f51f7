#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "cleaners/HiddenString.h"
#include "cleaners/TypedUrlStore.h"

namespace {

TEST(HiddenString, TypedUrlKeyPathDescramblesToTheBrowsersTypedUrlKey) {
    HiddenString path = TypedUrlKeyPath();
    std::wstring text = path.Text();
    EXPECT_EQ(46u, text.size()) << Narrow(text);
    EXPECT_EQ(std::wstring(L"Software\\Microsoft\\Internet Explorer\\TypedURLs"), text)
        << Narrow(text);
}

// Seed 0x40 with the key bytes 3D A7 5E C1: the sums 7D E7 9E 01 (the last one wrapped past
// 256) are combined with each byte, the top bit flipped; position 4 takes key byte 0 again.
TEST(HiddenString, DescramblesEachByteWithSeedAndKeyByteIntoUnitsBelow256) {
    const BYTE scrambled[] = {0x00, 0xFF, 0x80, 0x7F, 0x00};
    HiddenString hidden(0x40, scrambled, 5);
    const WCHAR* text = hidden.Text();
    const WCHAR expected[] = {0xFD, 0x98, 0x9E, 0xFE, 0xFD, 0};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(expected[i], text[i]) << "unit " << i << " is 0x" << std::hex << text[i];
}

TEST(HiddenString, ZeroLengthYieldsTheEmptyText) {
    const BYTE none[1] = {0x55};
    HiddenString hidden(0x12, none, 0);
    const WCHAR* text = hidden.Text();
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(L'\0', text[0]);
}

TEST(HiddenString, SecondCallReturnsTheSameBlock) {
    HiddenString path = TypedUrlKeyPath();
    const WCHAR* first = path.Text();
    EXPECT_EQ(first, path.Text());
    EXPECT_NE(static_cast<const WCHAR*>(HiddenStringEmptyText), first);
}

TEST(HiddenString, WithoutBytesHandsOutTheSharedEmptyText) {
    HiddenString missing(0x12, nullptr, 5);
    EXPECT_EQ(static_cast<const WCHAR*>(HiddenStringEmptyText), missing.Text());
    const BYTE bytes[] = {1, 2, 3};
    HiddenString negative(0x12, bytes, -1);
    EXPECT_EQ(static_cast<const WCHAR*>(HiddenStringEmptyText), negative.Text());
    EXPECT_EQ(L'\0', HiddenStringEmptyText[0]);
}

TEST(HiddenString, KeepsItsOwnCopyOfTheBytes) {
    BYTE bytes[] = {0x00, 0xFF};
    HiddenString hidden(0x40, bytes, 2);
    bytes[0] = 0x11;
    bytes[1] = 0x22;
    std::wstring text = hidden.Text();
    EXPECT_EQ(std::wstring(L"\xFD\x98"), text);
}

TEST(HiddenString, DescramblingRefusesABlockWithoutRoomForTheTerminator) {
    const BYTE bytes[] = {0x00, 0xFF, 0x80};
    WCHAR out[3] = {L'a', L'b', L'c'};
    EXPECT_EQ(0, DescrambleBytes(0x40, bytes, 3, out, 3));
    EXPECT_EQ(L'a', out[0]);
    WCHAR room[4] = {};
    EXPECT_EQ(1, DescrambleBytes(0x40, bytes, 3, room, 4));
    EXPECT_EQ(std::wstring(L"\xFD\x98\x9E"), std::wstring(room));
}

} // namespace
