#include "picture.h"

#include "harness.h"

#include <initguid.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

RECT clientOnScreen(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

static bool nothingLeftToPaint(HWND window)
{
    if (GetUpdateRect(window, nullptr, FALSE))
        return false;
    bool painted = true;
    EnumChildWindows(window, [](HWND child, LPARAM all) -> BOOL {
        if (GetUpdateRect(child, nullptr, FALSE))
            *reinterpret_cast<bool*>(all) = false;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&painted));
    return painted;
}

static std::vector<BYTE> capture(const RECT& frame)
{
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB}; // top-down rows
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    GdiFlush();
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    std::vector<BYTE> pixels(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + stride * static_cast<size_t>(height));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Picture pictureOf(const std::vector<HWND>& windows)
{
    Picture picture;
    for (HWND window : windows) {
        RECT r;
        GetWindowRect(window, &r);
        UnionRect(&picture.frame, &picture.frame, &r);
    }
    if (!waitUntil("the windows to paint", [&] {
            return std::all_of(windows.begin(), windows.end(), nothingLeftToPaint);
        }))
        return {};
    std::vector<BYTE> last = capture(picture.frame);
    DWORD taken = GetTickCount();
    bool agreed = waitUntil("two captures of the screen to agree", [&] {
        if (GetTickCount() - taken < 60)
            return false;
        std::vector<BYTE> next = capture(picture.frame);
        taken = GetTickCount();
        bool same = next == last;
        last = std::move(next);
        return same;
    });
    if (agreed)
        picture.bgr = std::move(last);
    return picture;
}

Ink inkIn(const Picture& picture, RECT area)
{
    Ink ink;
    IntersectRect(&area, &area, &picture.frame);
    int width = picture.frame.right - picture.frame.left;
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    if (IsRectEmpty(&area) || picture.bgr.empty())
        return ink;
    auto pixel = [&](int x, int y) {
        const BYTE* p = &picture.bgr[static_cast<size_t>(y - picture.frame.top) * stride + static_cast<size_t>(x - picture.frame.left) * 3];
        return RGB(p[2], p[1], p[0]);
    };
    std::map<COLORREF, size_t> counts;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            ++counts[pixel(x, y)];
    COLORREF common = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    auto stands = [&](COLORREF c) {
        return abs(GetRValue(c) - GetRValue(common)) + abs(GetGValue(c) - GetGValue(common)) +
               abs(GetBValue(c) - GetBValue(common)) > 96;
    };
    std::vector<bool> column(static_cast<size_t>(area.right - area.left));
    bool inBand = false;
    for (int y = area.top; y < area.bottom; ++y) {
        bool row = false;
        for (int x = area.left; x < area.right; ++x)
            if (stands(pixel(x, y))) {
                ++ink.pixels;
                row = true;
                column[static_cast<size_t>(x - area.left)] = true;
            }
        ink.bands += row && !inBand;
        inBand = row;
    }
    ink.columns = static_cast<int>(std::count(column.begin(), column.end(), true));
    return ink;
}

std::wstring savePicture(const Picture& picture, const std::wstring& name)
{
    int width = picture.frame.right - picture.frame.left, height = picture.frame.bottom - picture.frame.top;
    wchar_t full[MAX_PATH];
    GetFullPathNameW((testDirectory() + L"..\\screenshots").c_str(), MAX_PATH, full, nullptr);
    std::wstring folder = full;
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + name + L".png";
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    UINT stride = (width * 3 + 3) & ~3u;
    std::vector<BYTE> bits = picture.bgr;
    bool saved = !bits.empty() &&
                 SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                            reinterpret_cast<void**>(&factory))) &&
                 SUCCEEDED(factory->CreateStream(&stream)) &&
                 SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                 SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
                 SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
                 SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
                 SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
                 SUCCEEDED(frame->WritePixels(height, stride, stride * height, bits.data())) &&
                 SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, factory})
        if (object)
            object->Release();
    EXPECT_TRUE(saved) << "the screenshot " << testing::PrintToString(path);
    return path;
}
