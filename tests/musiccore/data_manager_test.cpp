// The data manager: modules registered and looked up by name.
#include <gtest/gtest.h>

#include "ZqMusicCore.h"

namespace {

class FakeModule : public IData {};

TEST(DataManager, RegisterLookUpUnregister) {
    IDataManager* manager = AfxGetDataManager();
    ASSERT_EQ(manager, AfxGetDataManager());
    FakeModule a, b;
    EXPECT_FALSE(manager->RegisterModule(nullptr, &a));
    EXPECT_FALSE(manager->RegisterModule("", &a));
    EXPECT_FALSE(manager->RegisterModule("modTestA", nullptr));
    ASSERT_TRUE(manager->RegisterModule("modTestA", &a));
    EXPECT_FALSE(manager->RegisterModule("modTestA", &b));  // the first keeps the name
    ASSERT_TRUE(manager->RegisterModule("modTestB", &b));
    EXPECT_EQ(manager->GetModule("modTestA"), &a);
    EXPECT_EQ(manager->GetModule("modTestB"), &b);
    EXPECT_EQ(manager->GetModule("modtesta"), nullptr);
    EXPECT_EQ(manager->GetModule(nullptr), nullptr);
    EXPECT_TRUE(manager->UnregisterModule("modTestA"));
    EXPECT_FALSE(manager->UnregisterModule("modTestA"));
    EXPECT_FALSE(manager->UnregisterModule(nullptr));
    EXPECT_EQ(manager->GetModule("modTestA"), nullptr);
    manager->ReleaseModules();
    EXPECT_EQ(manager->GetModule("modTestB"), nullptr);
}

}  // namespace
