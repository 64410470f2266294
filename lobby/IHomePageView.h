// What the main frame needs of its home page view (the embedded web view that shows the service's pages).
// The frame has none until the web views exist; every use is skipped then. UI thread only.
#pragma once

#include <string>

class IHomePageView {
public:
    virtual ~IHomePageView() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void Refresh() = 0;
    // The view shows the home page (its address holds "ZeqaShow/LiveIndex").
    virtual bool IsHomePage() const = 0;
    virtual bool HasBrowser() const = 0;
};
