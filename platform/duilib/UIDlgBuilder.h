// Builds a control tree from skin XML: window attributes, fonts, default attributes, controls.
#pragma once

#include <memory>

#include "UIManager.h"

namespace tinyxml2 {
class XMLDocument;
}

namespace DuiLib {

class CMarkup {
public:
    bool IsValid() const { return m_bValid; }
    bool m_bValid = false;
    std::string m_sXml;
    // The text parsed once: building again makes the controls without reading the XML again.
    std::shared_ptr<const tinyxml2::XMLDocument> m_doc;
};

class CDialogBuilder {
public:
    // Loads the file from the manager's resources (archive first) and builds; nullptr for a missing or bad
    // file. Unknown class names go to pCallback; those it does not know are skipped.
    CControlUI* Create(const char* xml, const char* type = nullptr, IDialogBuilderCallback* pCallback = nullptr,
                       CPaintManagerUI* pManager = nullptr, CControlUI* pParent = nullptr);
    // Builds again from the markup loaded before.
    CControlUI* Create(IDialogBuilderCallback* pCallback = nullptr, CPaintManagerUI* pManager = nullptr,
                       CControlUI* pParent = nullptr);
    // Builds from XML text.
    CControlUI* CreateFromString(const std::string& xml, IDialogBuilderCallback* pCallback, CPaintManagerUI* pManager,
                                 CControlUI* pParent = nullptr);
    CMarkup* GetMarkup() { return &m_xml; }

    // A stock control by class name ("Button", "VerticalLayout", ...), case-insensitive; nullptr if unknown.
    static CControlUI* CreateStockControl(const char* pstrClass);

private:
    static CControlUI* Build(const tinyxml2::XMLDocument& doc, IDialogBuilderCallback* pCallback,
                             CPaintManagerUI* pManager, CControlUI* pParent);
    CMarkup m_xml;
};

}  // namespace DuiLib
