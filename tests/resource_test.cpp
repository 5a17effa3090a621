// The resources as built into dravlet-ui.exe, read back as data.
#include "harness.h"

#include "resource.h"
#include "version.h"

#include <gtest/gtest.h>

static std::wstring programPath()
{
    return testDirectory() + L"..\\dravlet-ui.exe";
}

static HMODULE program()
{
    static HMODULE module = LoadLibraryExW(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

static std::string resourceBytes(const wchar_t* type, int id)
{
    HRSRC found = FindResourceW(program(), MAKEINTRESOURCEW(id), type);
    if (!found)
        return std::string();
    HGLOBAL loaded = LoadResource(program(), found);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(program(), found));
}

TEST(Resources, StringsMenuAndAccelerators)
{
    ASSERT_TRUE(program());
    wchar_t text[100];
    ASSERT_GT(LoadStringW(program(), IDS_APP_TITLE, text, 100), 0);
    EXPECT_STREQ(text, L"dravlet-ui");
    ASSERT_GT(LoadStringW(program(), IDS_CLASS_NAME, text, 100), 0);
    EXPECT_STREQ(text, L"DRAVLETUI");

    HMENU bar = LoadMenuW(program(), MAKEINTRESOURCEW(IDR_MAINMENU));
    ASSERT_TRUE(bar);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    GetMenuStringW(bar, 0, text, 100, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&File");
    HMENU file = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(file), 2);
    GetMenuStringW(file, 0, text, 100, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Config ...");
    EXPECT_EQ(GetMenuItemID(file, 0), 104u);
    GetMenuStringW(file, 1, text, 100, MF_BYPOSITION);
    EXPECT_STREQ(text, L"E&xit");
    EXPECT_EQ(GetMenuItemID(file, 1), 105u);
    DestroyMenu(bar);

    // Two character-code entries with Alt: "?" and "/", both command 104.
    std::string table = resourceBytes(RT_ACCELERATOR, IDR_ACCEL);
    ASSERT_EQ(table.size(), 16u);
    struct Entry { WORD flags, key, command, pad; };
    const Entry* entries = reinterpret_cast<const Entry*>(table.data());
    EXPECT_EQ(entries[0].flags, FALT);
    EXPECT_EQ(entries[0].key, '?');
    EXPECT_EQ(entries[0].command, 104);
    EXPECT_EQ(entries[1].flags, FALT | 0x80); // 0x80 marks the last entry
    EXPECT_EQ(entries[1].key, '/');
    EXPECT_EQ(entries[1].command, 104);
}

TEST(Resources, IconGroupsHoldNineImages)
{
    const struct { BYTE size; WORD bits; } expected[] = {
        {0, 8}, {48, 8}, {32, 8}, {16, 8}, {0, 32}, {64, 32}, {48, 32}, {32, 32}, {16, 32}};
    for (int group : {IDI_DRAVLETUI, IDI_SMALL}) {
        std::string bytes = resourceBytes(RT_GROUP_ICON, group);
        ASSERT_GE(bytes.size(), 6u) << group;
#pragma pack(push, 2)
        struct Entry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD size; WORD id; };
#pragma pack(pop)
        ASSERT_EQ(*reinterpret_cast<const WORD*>(bytes.data() + 4), 9);
        ASSERT_EQ(bytes.size(), 6 + 9 * sizeof(Entry));
        const Entry* entries = reinterpret_cast<const Entry*>(bytes.data() + 6);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(entries[i].width, expected[i].size) << group << " image " << i;
            EXPECT_EQ(entries[i].height, expected[i].size);
            EXPECT_EQ(entries[i].bits, expected[i].bits);
            std::string image = resourceBytes(RT_ICON, entries[i].id);
            bool png = image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
            EXPECT_EQ(png, entries[i].width == 0) << "only the 256-pixel images are PNG";
            if (!png) {
                const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
                EXPECT_EQ(header->biWidth, expected[i].size);
                EXPECT_EQ(header->biBitCount, expected[i].bits);
            }
        }
    }
    // The icon loads as the platform would use it.
    EXPECT_TRUE(LoadImageW(program(), MAKEINTRESOURCEW(IDI_DRAVLETUI), IMAGE_ICON, 16, 16, 0));
}

TEST(Resources, ManifestAndVersion)
{
    std::string manifest = resourceBytes(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    // Windows 7, 8, 8.1 and 10/11, by the ids Microsoft gives them.
    EXPECT_NE(manifest.find("<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">"), std::string::npos);
    for (const char* id : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(manifest.find("<supportedOS Id=\"{" + std::string(id) + "}\"/>"), std::string::npos) << id;

    DWORD handle = 0, size = GetFileVersionInfoSizeW(programPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string info(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(programPath().c_str(), 0, size, info.data()));
    auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ? std::wstring(text)
                                                                                                 : std::wstring();
    };
    EXPECT_EQ(value(L"ProductName"), L"dravlet-ui");
    EXPECT_EQ(value(L"ProductVersion"), L"" DRAVLET_VERSION_TEXT);
    EXPECT_EQ(value(L"OriginalFilename"), L"dravlet-ui.exe");
    EXPECT_NE(value(L"FileDescription").find(L"kestrup"), std::wstring::npos);
}

// Reading an extended dialog template.
static const BYTE* alignTo(const BYTE* p, size_t n)
{
    return reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p) + n - 1) & ~(n - 1));
}

static std::wstring sizeOrOrdinal(const BYTE*& p)
{
    const WORD* w = reinterpret_cast<const WORD*>(p);
    if (w[0] == 0xFFFF) {
        p += 4;
        return L"#" + std::to_wstring(w[1]);
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += (text.size() + 1) * 2;
    return text;
}

TEST(Resources, SettingsDialogTemplate)
{
    std::string bytes = resourceBytes(RT_DIALOG, IDD_CONFIG);
    ASSERT_GT(bytes.size(), 26u);
    const BYTE* p = reinterpret_cast<const BYTE*>(bytes.data());
    auto word = [&]() { WORD v = *reinterpret_cast<const WORD*>(p); p += 2; return v; };
    auto dword = [&]() { DWORD v = *reinterpret_cast<const DWORD*>(p); p += 4; return v; };
    EXPECT_EQ(word(), 1);      // dlgVer
    EXPECT_EQ(word(), 0xFFFF); // extended template
    dword();                   // help id
    EXPECT_EQ(dword(), 0u);    // no extended style
    EXPECT_EQ(dword(), 0x80C800C8u);
    WORD count = word();
    ASSERT_EQ(count, 11);
    short rect[4];
    for (short& v : rect) v = static_cast<short>(word());
    EXPECT_EQ(std::vector<short>(rect, rect + 4), (std::vector<short>{0, 0, 299, 167}));
    EXPECT_EQ(sizeOrOrdinal(p), L"");               // menu
    EXPECT_EQ(sizeOrOrdinal(p), L"");               // class
    EXPECT_EQ(sizeOrOrdinal(p), L"Usenet config");  // caption
    EXPECT_EQ(word(), 8);                           // points
    EXPECT_EQ(word(), 0);                           // weight
    EXPECT_EQ(*p++, 0);                             // italic
    EXPECT_EQ(*p++, DEFAULT_CHARSET);
    EXPECT_EQ(sizeOrOrdinal(p), L"MS Shell Dlg");

    const struct { int id; const wchar_t* cls; const wchar_t* text; short x, y, cx, cy; DWORD style; } controls[] = {
        {-1, L"STATIC", L"#107", 14, 14, 20, 20, 0x50000003},
        {-1, L"STATIC", L"Host", 42, 17, 42, 8, 0x50020080},
        {1, L"BUTTON", L"Save", 42, 119, 50, 14, 0x50030001},
        {1001, L"EDIT", L"", 92, 16, 115, 14, 0x50810090},
        {-1, L"STATIC", L"Username", 42, 35, 42, 8, 0x50020080},
        {1002, L"EDIT", L"", 92, 34, 115, 14, 0x50810080}, // user names keep their case
        {-1, L"STATIC", L"Password", 42, 52, 42, 8, 0x50020080},
        {1003, L"EDIT", L"", 92, 51, 115, 14, 0x508100A0},
        {-1, L"STATIC", L"Connections", 42, 73, 42, 8, 0x50020080},
        {1005, L"EDIT", L"", 92, 72, 115, 14, 0x50812090},
        {1004, L"BUTTON", L"Anonimize files", 42, 92, 136, 10, 0x50010003},
    };
    for (const auto& c : controls) {
        p = alignTo(p, 4);
        dword(); // help id
        EXPECT_EQ(dword(), 0u) << c.text;
        EXPECT_EQ(dword(), c.style) << c.text;
        for (short expected : {c.x, c.y, c.cx, c.cy})
            EXPECT_EQ(static_cast<short>(word()), expected) << c.text;
        EXPECT_EQ(static_cast<int>(dword()), c.id) << c.text;
        // The class may be stored by name or by its predefined ordinal.
        std::wstring cls = sizeOrOrdinal(p);
        if (cls == L"#128") cls = L"BUTTON";
        if (cls == L"#129") cls = L"EDIT";
        if (cls == L"#130") cls = L"STATIC";
        EXPECT_EQ(_wcsupr(cls.data()), std::wstring(c.cls)) << c.text;
        EXPECT_EQ(sizeOrOrdinal(p), c.text);
        p += word(); // creation data
    }
}
