// Checked file names, progress numbers and file replacement.
#include <gtest/gtest.h>

#include "DownloadSoftware.h"
#include "UpdaterTestEnv.h"
#include "UpdaterUtil.h"

TEST(UpdaterUtil, ServerFileNamesAreCheckedPlainNames) {
    struct Row {
        const char* name;
        bool ok;
    } rows[] = {
        {"Varnet_1.0.0.2_FORCE.sh", true},
        {"a.png", true},
        {"../x", false},
        {"/etc/x", false},
        {"a/../../b", false},
        {"", false},
        {".", false},
        {"..", false},
        {"a\\b", false},
        {"a.png?x=1", false},
        {"x#y", false},
        {"c:evil", false},
        {"a\nb", false},
    };
    for (const Row& r : rows) EXPECT_EQ(IsSafeFileName(r.name), r.ok) << r.name;
}

TEST(UpdaterUtil, ProgressNumbers) {
    struct Row {
        int total, current, speed;
        WPARAM percent;
        LPARAM left;
    } rows[] = {
        {0, 5, 1, 0, 0}, {100, 50, 10, 50, 5}, {100, 150, 10, 100, 0}, {100, 50, 0, 50, 0}, {3, 1, 1, 33, 2},
    };
    for (const Row& r : rows) {
        WPARAM p;
        LPARAM l;
        CDownloadSoftware::ProgressNumbers(r.total, r.current, r.speed, p, l);
        EXPECT_EQ(p, r.percent) << r.total << " " << r.current;
        EXPECT_EQ(l, r.left) << r.total << " " << r.current;
    }
}
