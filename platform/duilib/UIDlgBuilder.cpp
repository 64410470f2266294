#include "UIDlgBuilder.h"

#include <tinyxml2.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "UIControls.h"
#include "UIList.h"
#include "UIRender.h"

namespace DuiLib {

namespace {
const int kMaxDepth = 64;
const int kMaxIncludeDepth = 8;
// Controls and include expansions one build may make: includes repeated inside includes could otherwise
// multiply without end.
const int kMaxControls = 20000;
// Bytes of included documents one build may expand (each expansion counts the whole document).
const size_t kMaxIncludeBytes = 16u << 20;

bool Attr(const tinyxml2::XMLElement* e, const char* name, std::string& out) {
    const char* v = e->Attribute(name);
    if (!v) return false;
    out = Utf8ToGbk(v);
    return true;
}

// The included documents of one build, each loaded and parsed once.
struct Includes {
    struct Doc {
        std::unique_ptr<tinyxml2::XMLDocument> xml;  // null when the source cannot be loaded or parsed
        size_t bytes = 0;
    };
    std::map<std::string, Doc> docs;
    size_t expanded = 0;  // bytes of all expansions so far
};

struct BuildCtx {
    IDialogBuilderCallback* cb;
    CPaintManagerUI* pm;
    int includeDepth;
    int* made;           // controls made so far (shared with included files)
    Includes* includes;  // shared with included files
};

const Includes::Doc& LoadInclude(const std::string& src, BuildCtx& ctx) {
    auto [it, added] = ctx.includes->docs.try_emplace(src);
    Includes::Doc& d = it->second;
    if (!added) return d;
    std::string text;
    if (!ctx.pm->LoadResource(src.c_str(), text) || text.size() > kMaxIncludeBytes) return d;
    auto doc = std::make_unique<tinyxml2::XMLDocument>();
    if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || !doc->RootElement()) return d;
    d.xml = std::move(doc);
    d.bytes = text.size();
    return d;
}

void ApplyDefaults(CControlUI* c, const char* cls, CPaintManagerUI* pm) {
    if (!pm) return;
    const char* list = pm->GetDefaultAttributeList(cls);
    if (list) c->ApplyAttributeList(list);
}

CControlUI* Parse(const tinyxml2::XMLElement* first, CControlUI* parent, BuildCtx& ctx, int depth);

CControlUI* BuildInclude(const tinyxml2::XMLElement* e, CControlUI* parent, BuildCtx& ctx) {
    std::string src;
    if (!Attr(e, "source", src) || ctx.includeDepth >= kMaxIncludeDepth || !ctx.pm) return nullptr;
    // Without a parent only one control can be the result.
    int count = parent ? std::clamp(e->IntAttribute("count", 1), 1, 1000) : 1;
    CControlUI* last = nullptr;
    const Includes::Doc& doc = LoadInclude(src, ctx);
    if (!doc.xml) return nullptr;
    for (int i = 0; i < count && *ctx.made < kMaxControls; ++i) {
        if (doc.bytes > kMaxIncludeBytes - ctx.includes->expanded) break;
        ctx.includes->expanded += doc.bytes;
        ++*ctx.made;  // each expansion counts, so that includes of nothing end too
        BuildCtx sub = ctx;
        sub.includeDepth++;
        const tinyxml2::XMLElement* root = doc.xml->RootElement();
        if (EqualNoCase(root->Name(), "Window")) root = root->FirstChildElement();
        CControlUI* c = Parse(root, parent, sub, 0);
        if (c) last = c;
    }
    return last;
}

CControlUI* Parse(const tinyxml2::XMLElement* first, CControlUI* parent, BuildCtx& ctx, int depth) {
    if (depth > kMaxDepth) return nullptr;
    CControlUI* ret = nullptr;
    for (const tinyxml2::XMLElement* e = first; e; e = e->NextSiblingElement()) {
        const char* cls = e->Name();
        if (EqualNoCase(cls, "Image") || EqualNoCase(cls, "Font") || EqualNoCase(cls, "Default")) continue;
        CControlUI* c = nullptr;
        if (EqualNoCase(cls, "Include")) {
            c = BuildInclude(e, parent, ctx);
            if (c && !ret) ret = c;
            else if (c && !parent) delete c;
            continue;
        }
        if (*ctx.made >= kMaxControls) break;
        c = CDialogBuilder::CreateStockControl(cls);
        if (!c && ctx.cb) c = ctx.cb->CreateControl(cls);
        if (!c) continue;  // unknown class: skipped with its children
        ++*ctx.made;
        if (e->FirstChildElement()) {
            Parse(e->FirstChildElement(), c, ctx, depth + 1);
        }
        if (!parent && ret) {  // a second top-level control has nowhere to go
            delete c;
            continue;
        }
        if (parent) {
            auto* container = static_cast<CContainerUI*>(parent->GetInterface("IContainer"));
            if (!container || !container->Add(c)) {
                delete c;
                continue;
            }
        }
        ApplyDefaults(c, cls, ctx.pm);
        for (const tinyxml2::XMLAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
            c->SetAttribute(a->Name(), Utf8ToGbk(a->Value()).c_str());
        }
        if (ctx.pm && !parent) c->SetManager(ctx.pm, nullptr, false);
        if (!ret) ret = c;
    }
    return ret;
}
}  // namespace

CControlUI* CDialogBuilder::CreateStockControl(const char* cls) {
    struct Entry {
        const char* name;
        CControlUI* (*make)();
    };
    static const Entry table[] = {
        {"Control", [] { return (CControlUI*)new CControlUI; }},
        {"Container", [] { return (CControlUI*)new CContainerUI; }},
        {"VerticalLayout", [] { return (CControlUI*)new CVerticalLayoutUI; }},
        {"HorizontalLayout", [] { return (CControlUI*)new CHorizontalLayoutUI; }},
        {"TileLayout", [] { return (CControlUI*)new CTileLayoutUI; }},
        {"TabLayout", [] { return (CControlUI*)new CTabLayoutUI; }},
        {"Label", [] { return (CControlUI*)new CLabelUI; }},
        {"Text", [] { return (CControlUI*)new CTextUI; }},
        {"Button", [] { return (CControlUI*)new CButtonUI; }},
        {"Option", [] { return (CControlUI*)new COptionUI; }},
        {"CheckBox", [] { return (CControlUI*)new CCheckBoxUI; }},
        {"Edit", [] { return (CControlUI*)new CEditUI; }},
        {"RichEdit", [] { return (CControlUI*)new CRichEditUI; }},
        {"Progress", [] { return (CControlUI*)new CProgressUI; }},
        {"Slider", [] { return (CControlUI*)new CSliderUI; }},
        {"ScrollBar", [] { return (CControlUI*)new CScrollBarUI; }},
        {"List", [] { return (CControlUI*)new CListUI; }},
        {"ListLabelElement", [] { return (CControlUI*)new CListLabelElementUI; }},
        {"ListContainerElement", [] { return (CControlUI*)new CListContainerElementUI; }},
        {"Combo", [] { return (CControlUI*)new CComboUI; }},
        {"NativeHost", [] { return (CControlUI*)new CNativeHostUI; }},
    };
    for (const Entry& e : table)
        if (EqualNoCase(cls, e.name)) return e.make();
    return nullptr;
}

CControlUI* CDialogBuilder::Create(const char* xml, const char*, IDialogBuilderCallback* cb, CPaintManagerUI* pm,
                                   CControlUI* parent) {
    m_xml = CMarkup();
    if (!xml || !*xml) return nullptr;
    std::string text;
    if (xml[0] == '<') text = xml;
    else if (!pm || !pm->LoadResource(xml, text)) return nullptr;
    auto doc = std::make_shared<tinyxml2::XMLDocument>();
    m_xml.m_bValid = doc->Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS && doc->RootElement();
    if (!m_xml.m_bValid) return nullptr;
    m_xml.m_sXml = std::move(text);
    m_xml.m_doc = std::move(doc);
    return Create(cb, pm, parent);
}

CControlUI* CDialogBuilder::Create(IDialogBuilderCallback* cb, CPaintManagerUI* pm, CControlUI* parent) {
    if (!m_xml.IsValid()) return nullptr;
    if (!m_xml.m_doc) return CreateFromString(m_xml.m_sXml, cb, pm, parent);
    return Build(*m_xml.m_doc, cb, pm, parent);
}

CControlUI* CDialogBuilder::CreateFromString(const std::string& xml, IDialogBuilderCallback* cb, CPaintManagerUI* pm,
                                             CControlUI* parent) {
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) return nullptr;
    return Build(doc, cb, pm, parent);
}

CControlUI* CDialogBuilder::Build(const tinyxml2::XMLDocument& doc, IDialogBuilderCallback* cb, CPaintManagerUI* pm,
                                  CControlUI* parent) {
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (!root) return nullptr;
    if (EqualNoCase(root->Name(), "Window")) {
        if (pm) {
            for (const tinyxml2::XMLElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
                std::string v;
                if (EqualNoCase(e->Name(), "Font")) {
                    std::string name;
                    Attr(e, "name", name);
                    int size = std::clamp(e->IntAttribute("size", 12), 1, 200);
                    bool bold = e->BoolAttribute("bold", false), underline = e->BoolAttribute("underline", false),
                         italic = e->BoolAttribute("italic", false);
                    if (e->Attribute("id"))
                        pm->AddFont(e->IntAttribute("id", 0), name.c_str(), size, bold, underline, italic);
                    if (e->BoolAttribute("default", false))
                        pm->SetDefaultFont(name.c_str(), size, bold, underline, italic);
                } else if (EqualNoCase(e->Name(), "Default")) {
                    std::string name, value;
                    if (Attr(e, "name", name) && Attr(e, "value", value))
                        pm->AddDefaultAttributeList(name.c_str(), value.c_str());
                }
            }
            for (const tinyxml2::XMLAttribute* a = root->FirstAttribute(); a; a = a->Next())
                pm->SetWindowAttribute(a->Name(), Utf8ToGbk(a->Value()).c_str());
        }
        root = root->FirstChildElement();
    }
    int made = 0;
    Includes includes;
    BuildCtx ctx{cb, pm, 0, &made, &includes};
    return Parse(root, parent, ctx, 0);
}

}  // namespace DuiLib
