// The layout store on the user's settings, in a temporary settings folder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "LayoutProps.h"
#include "Link.h"
#include "SettingsLayoutStore.h"
#include "support/FakeServices.h"

namespace {

class SettingsLayout : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    QTemporaryDir dir;
    SettingsLayoutStore store;
};

TEST_F(SettingsLayout, StoresPerPanelAndReadsDefaultsForMissingValues) {
    EXPECT_EQ(store.GetInt(u"Greenhouse", "0000000500000100", -3), -3);
    store.SetInt(u"Greenhouse", "0000000500000100", 42);
    store.SetInt(u"Workshop", "0000000500000100", 7);
    EXPECT_EQ(store.GetInt(u"Greenhouse", "0000000500000100", 0), 42);
    EXPECT_EQ(store.GetInt(u"Workshop", "0000000500000100", 0), 7);

    QSettings raw(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    EXPECT_EQ(raw.value("Greenhouse/0000000500000100").toInt(), 42);
    // What one store read is not kept past another store's change.
    SettingsLayoutStore().SetInt(u"Greenhouse", "0000000500000100", 43);
    EXPECT_EQ(store.GetInt(u"Greenhouse", "0000000500000100", 0), 43);
}

TEST_F(SettingsLayout, AnyTitleIsOneGroup) {
    const std::u16string titles[] = {u"a/b", u"a\\b", u"a%2Fb", u"", u"\u00DCber/\u6E29"};
    int value = 1;
    for (const auto& t : titles) store.SetInt(t, "0000000000000000", value++);
    value = 1;
    for (const auto& t : titles) EXPECT_EQ(store.GetInt(t, "0000000000000000", 0), value++);
    EXPECT_EQ(store.GetInt(u"a", "0000000000000000", -1), -1);
    EXPECT_NE(SettingsLayoutStore::GroupName(u"a/b"), SettingsLayoutStore::GroupName(u"a%2Fb"));
}

TEST_F(SettingsLayout, ServesTheLinkUnderThePanelTitle) {
    LinkFixtureServices services;
    LinkSetServices(LinkServices{&services.notifier, &services.alerts, &store, nullptr});
    EXPECT_FALSE(HasLayoutInt(3, CTRL_PROP_HIDE));
    SetLayoutInt(3, CTRL_PROP_HIDE, 2);
    EXPECT_TRUE(HasLayoutInt(3, CTRL_PROP_HIDE));
    EXPECT_EQ(store.GetInt(u"Talvex", "00000003000001F0", 0), 2);
}

} // namespace
