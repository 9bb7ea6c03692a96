// The copy clip: its format as the animation control needs it, and pictures that really move.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <vector>

#include "TestHarness.h"
#include "resource.h"
#include "ui/Controls.h"

namespace rover {
namespace {

struct TClipHeader {
    DWORD MicroSecPerFrame, MaxBytesPerSec, Padding, Flags, TotalFrames, InitialFrames, Streams,
        BufferSize, Width, Height;
};

const BYTE* FindChunk(const BYTE* data, size_t size, const char* fourcc) {
    for (size_t i = 0; i + 8 <= size; ++i) {
        if (std::memcmp(data + i, fourcc, 4) == 0)
            return data + i + 8;
    }
    return nullptr;
}

TEST(CopyClip, IsAnRle8ClipOf34FramesOf100Ms) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(self, MAKEINTRESOURCEW(IDR_COPY_CLIP), L"AVI");
    ASSERT_NE(info, nullptr);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(self, info)));
    const size_t size = SizeofResource(self, info);
    ASSERT_GT(size, 12u);
    EXPECT_EQ(std::memcmp(data, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(data + 8, "AVI ", 4), 0);
    const BYTE* avih = FindChunk(data, size, "avih");
    ASSERT_NE(avih, nullptr);
    TClipHeader header;
    std::memcpy(&header, avih, sizeof header);
    EXPECT_EQ(header.MicroSecPerFrame, 100000u);
    EXPECT_EQ(header.TotalFrames, 34u);
    EXPECT_EQ(header.Width, 272u);
    EXPECT_EQ(header.Height, 60u);
    const BYTE* strf = FindChunk(data, size, "strf");
    ASSERT_NE(strf, nullptr);
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, strf, sizeof bih);
    EXPECT_EQ(bih.biBitCount, 8);
    EXPECT_EQ(bih.biCompression, static_cast<DWORD>(BI_RLE8));
    // Every frame is in the file: a cut-off clip still opens.
    const BYTE* index = FindChunk(data, size, "idx1");
    ASSERT_NE(index, nullptr);
    DWORD indexSize;
    std::memcpy(&indexSize, index - 4, 4);
    EXPECT_EQ(indexSize, 34u * 16u);
}

// What the control shows, painted into a bitmap of its size.
std::vector<DWORD> Snapshot(HWND control) {
    RECT rc;
    GetClientRect(control, &rc);
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                              static_cast<const DWORD*>(bits) + rc.right * rc.bottom);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, screen);
    return pixels;
}

TEST(CopyClip, TheControlsPicturesChangeWhileItPlays) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&icc);
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND control = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 272, 60,
                                   parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    TAnimate animate(control);
    ASSERT_TRUE(animate.Open(GetModuleHandleW(nullptr), IDR_COPY_CLIP));
    ASSERT_TRUE(animate.Seek(0));
    const std::vector<DWORD> first = Snapshot(control);
    ASSERT_TRUE(animate.Seek(14));
    const std::vector<DWORD> middle = Snapshot(control);
    EXPECT_NE(first, middle) << "frames 1 and 15 look the same";
    ASSERT_TRUE(animate.Seek(33));
    EXPECT_NE(Snapshot(control), middle) << "frames 15 and 34 look the same";

    ASSERT_TRUE(animate.Play(0, 33, -1));
    test::PumpMessages(150);
    const std::vector<DWORD> early = Snapshot(control);
    // Some frames look alike, and the control's thread may run late: the
    // picture only has to change at some point within a few seconds.
    EXPECT_TRUE(test::PumpUntil([&] { return Snapshot(control) != early; }, 3000))
        << "the playing clip stands still";
    animate.Stop();
    DestroyWindow(parent);
}

} // namespace
} // namespace rover
