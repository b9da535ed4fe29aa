// The setup program's manifest, read from the built stubs: resource 1 of
// type RT_MANIFEST, well-formed XML, accepted by the platform's own
// manifest parser, asking for an administrator's rights and declaring
// nothing that changes how older systems or the dialogs behave. Both
// builds' stubs are read where they lie in the bin folder (a program can
// read another architecture's resources as data).
#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "testutil.h"
#include "wtest.h"

namespace {

// The product's stub and the x86_64 test build's, where built.
std::vector<std::string> Stubs()
{
    std::vector<std::string> stubs;
    for (const char* name : {"\\setup-stub.exe", "\\setup-stub64.exe"})
        if (wt::Exists(wt::BinDir() + name)) stubs.push_back(wt::BinDir() + name);
    return stubs;
}

// The text of resource 1 of type RT_MANIFEST; `found` says whether there
// is one.
std::string ManifestText(const std::string& path, bool* found)
{
    *found = false;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return std::string();
    std::string text;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (data) {
        text.assign(data, SizeofResource(module, resource));
        *found = true;
    }
    FreeLibrary(module);
    return text;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The XML parser's verdict: "" when the text is well-formed, else its
// reason; "(no parser)" when none can be created.
std::string XmlError(const std::string& text)
{
    static const CLSID clsidDomDocument30 = {
        0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
    static const IID iidDomDocument = {
        0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
    CoInitialize(nullptr);
    IXMLDOMDocument* document = nullptr;
    if (FAILED(CoCreateInstance(clsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                iidDomDocument, reinterpret_cast<void**>(&document))))
        return "(no parser)";
    std::wstring wide(text.begin(), text.end());
    BSTR source = SysAllocString(wide.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->loadXML(source, &loaded);
    SysFreeString(source);
    std::string error;
    if (loaded != VARIANT_TRUE) {
        error = "not well-formed";
        IXMLDOMParseError* parseError = nullptr;
        BSTR reason = nullptr;
        if (SUCCEEDED(document->get_parseError(&parseError)) && parseError &&
            SUCCEEDED(parseError->get_reason(&reason)) && reason) {
            std::wstring text(reason);
            error += ": " + std::string(text.begin(), text.end());
            SysFreeString(reason);
        }
        if (parseError) parseError->Release();
    }
    document->Release();
    return error;
}

// The run level the platform's manifest parser reads from the manifest in
// `source` (a program, with resource 1, or a manifest file); -1 when the
// parser refuses it.
int ParsedRunLevel(const std::string& source, bool fromResource, DWORD* uiAccess)
{
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.lpSource = source.c_str();
    if (fromResource) {
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpResourceName = MAKEINTRESOURCEA(1);
    }
    HANDLE handle = CreateActCtxA(&context);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info = {};
    SIZE_T size = 0;
    BOOL ok = QueryActCtxW(0, handle, nullptr, RunlevelInformationInActivationContext, &info,
                           sizeof info, &size);
    ReleaseActCtx(handle);
    *uiAccess = info.UiAccess;
    return ok ? static_cast<int>(info.RunLevel) : -2;
}

} // namespace

// The manifest's text: present in every built stub, well-formed, one
// requested execution level of requireAdministrator without UI access, and
// none of the elements that change behaviour: no dependency (common
// controls 6 would restyle the dialogs), no DPI declaration, no supported
// OS list.
WTEST(ManifestAsksForAdministratorRightsAndNothingElse)
{
    std::vector<std::string> stubs = Stubs();
    REQUIRE(!stubs.empty());
    for (const std::string& stub : stubs) {
        ui::Note("%s", stub.c_str());
        bool found = false;
        std::string text = ManifestText(stub, &found);
        REQUIRE(found);
        CHECK_EQ(XmlError(text), std::string());
        CHECK_EQ(Count(text, "<requestedExecutionLevel "), 1u);
        CHECK_EQ(Count(text, "level=\"requireAdministrator\""), 1u);
        CHECK_EQ(Count(text, "uiAccess=\"false\""), 1u);
        for (const char* element : {"dependency", "dpiAware", "dpiAwareness", "compatibility",
                                    "supportedOS", "windowsSettings", "assemblyIdentity"})
            CHECK_EQ(Count(text, std::string("<") + element), 0u);
        // One namespace declaration per element: Windows XP SP2's loader
        // mishandles an element that carries two.
        for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1))
            CHECK(Count(text.substr(at, text.find('>', at) - at), "xmlns") <= 1u);
    }
}

// The platform's manifest parser accepts it and reads requireAdministrator
// without UI access; the same parser refuses a manifest with an unclosed
// element, so its acceptance means something.
WTEST(PlatformParserReadsTheRunLevel)
{
    std::vector<std::string> stubs = Stubs();
    REQUIRE(!stubs.empty());
    for (const std::string& stub : stubs) {
        ui::Note("%s", stub.c_str());
        DWORD uiAccess = 1;
        CHECK_EQ(ParsedRunLevel(stub, true, &uiAccess),
                 static_cast<int>(ACTCTX_RUN_LEVEL_REQUIRE_ADMIN));
        CHECK_EQ(uiAccess, 0ul);
    }
    std::string dir = wt::FreshDir("manifest");
    std::string broken = dir + "\\broken.manifest";
    bool found = false;
    std::string text = ManifestText(wt::StubPath(), &found);
    REQUIRE(found);
    REQUIRE(text.find("</security>") != std::string::npos);
    text.erase(text.find("</security>"), 11);
    REQUIRE(wt::WriteBytes(broken, wt::ToBytes(text)));
    DWORD uiAccess = 0;
    CHECK_EQ(ParsedRunLevel(broken, false, &uiAccess), -1);
    CHECK(!XmlError(text).empty());
    wt::RemoveTree(dir);
}
