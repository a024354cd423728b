// The registry store on the system registry: binary values below either root, read back
// whole, and the names the file store refuses refused here too.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "serialkit/platform/registry.h"
#include "serialkit/platform/system_error.h"
#include "registry_sandbox.h"

namespace {

using sk::platform::CreateRegistryKey;
using sk::platform::RegistryKey;
using sk::platform::RegistryRoot;
using Bytes = std::vector<std::uint8_t>;

TEST(RegistryStore, BinaryValuesRoundTripBelowEitherRoot) {
  for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
    SCOPED_TRACE(static_cast<int>(root));
    win32test::RegistrySandbox box(root);
    auto key = CreateRegistryKey(root, box.Key("Saved\\Ports"));
    ASSERT_NE(key, nullptr) << sk::platform::SystemErrorText(sk::platform::LastError());
    EXPECT_TRUE(box.Exists("Saved\\Ports")) << "the key and those above it are made";

    Bytes value(49);
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(key->SetBinaryValue("Port", value.data(), value.size()));
    DWORD type = 0, size = 0;
    ASSERT_TRUE(box.TypeOf("Saved\\Ports", L"Port", type, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 49u);

    // A second opening of the same key sees the value; a shorter one replaces it whole.
    auto again = CreateRegistryKey(root, box.Key("Saved\\Ports"));
    ASSERT_NE(again, nullptr);
    Bytes read;
    EXPECT_EQ(again->QueryValue("Port", 49, read), RegistryKey::Query::Found);
    EXPECT_EQ(read, value);
    ASSERT_TRUE(again->SetBinaryValue("Port", value.data(), 3));
    EXPECT_EQ(key->QueryValue("Port", 49, read), RegistryKey::Query::Found);
    EXPECT_EQ(read, Bytes(value.begin(), value.begin() + 3));
    ASSERT_TRUE(again->SetBinaryValue("Empty", nullptr, 0));
    EXPECT_EQ(key->QueryValue("Empty", 49, read), RegistryKey::Query::Found);
    EXPECT_TRUE(read.empty());
  }
}

TEST(RegistryStore, QueriesTellAbsentTooLongAndOtherTypes) {
  win32test::RegistrySandbox box;
  auto key = CreateRegistryKey(RegistryRoot::CurrentUser, box.Key());
  ASSERT_NE(key, nullptr);
  Bytes read{1, 2, 3};
  EXPECT_EQ(key->QueryValue("Missing", 49, read), RegistryKey::Query::Absent);
  EXPECT_TRUE(read.empty());

  const Bytes big(50, 0xAB);
  ASSERT_TRUE(key->SetBinaryValue("Big", big.data(), big.size()));
  read = {1};
  EXPECT_EQ(key->QueryValue("Big", 49, read), RegistryKey::Query::TooLong);
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(key->QueryValue("Big", 50, read), RegistryKey::Query::Found);
  EXPECT_EQ(read, big);

  // A value another program wrote as text is read as its bytes; a sub-key is no value.
  box.WriteText("", L"Text", L"ab");
  EXPECT_EQ(key->QueryValue("Text", 49, read), RegistryKey::Query::Found);
  EXPECT_EQ(read, (Bytes{'a', 0, 'b', 0, 0, 0}));
  ASSERT_NE(CreateRegistryKey(RegistryRoot::CurrentUser, box.Key("Sub")), nullptr);
  EXPECT_EQ(key->QueryValue("Sub", 49, read), RegistryKey::Query::Absent);

  // Names beyond ASCII cross as UTF-16.
  ASSERT_TRUE(key->SetBinaryValue("Port \xC3\xA9", big.data(), 4));
  DWORD type = 0, size = 0;
  EXPECT_TRUE(box.TypeOf("", L"Port \u00e9", type, size));
  EXPECT_EQ(size, 4u);
}

TEST(RegistryStore, NamesTheFileStoreRefusesAreRefusedBeforeAnythingIsMade) {
  win32test::RegistrySandbox box;
  const std::string base = box.Key();
  for (const std::string& bad :
       {std::string(".."), std::string("a\\..\\b"), std::string("a\\\\b"), std::string("a\\"),
        std::string("."), std::string("a/b"), std::string("a\0b", 3)}) {
    SCOPED_TRACE(bad);
    sk::platform::SetLastError(0);
    EXPECT_EQ(CreateRegistryKey(RegistryRoot::CurrentUser, base + "\\" + bad), nullptr);
    EXPECT_EQ(sk::platform::LastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_FALSE(box.Exists("")) << "no key on the way was made";
  EXPECT_EQ(CreateRegistryKey(RegistryRoot::CurrentUser, "\\Leading"), nullptr);

  auto key = CreateRegistryKey(RegistryRoot::CurrentUser, base);
  ASSERT_NE(key, nullptr);
  const std::uint8_t byte = 1;
  Bytes read;
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."),
                                 std::string("a/b"), std::string("v\0x", 3)}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(key->SetBinaryValue(bad, &byte, 1));
    EXPECT_EQ(sk::platform::LastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(key->QueryValue(bad, 49, read), RegistryKey::Query::Failed);
  }
  DWORD type = 0, size = 0;
  EXPECT_FALSE(box.TypeOf("", L"", type, size)) << "the key's default value stays unset";
}

TEST(RegistryStore, RootsAreNamedAsTheSystemNamesThem) {
  EXPECT_EQ(sk::platform::RegistryRootPath(RegistryRoot::CurrentUser), "HKEY_CURRENT_USER");
  EXPECT_EQ(sk::platform::RegistryRootPath(RegistryRoot::LocalMachine), "HKEY_LOCAL_MACHINE");
}

}  // namespace
