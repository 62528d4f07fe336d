#include "tool/inspect.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "payload/encode.hpp"
#include "payload/format.hpp"
#include "support/images.hpp"

namespace tavmor {
namespace {

LauncherFileReport examine(const std::string& file) {
  return examineLauncherFile(reinterpret_cast<const unsigned char*>(file.data()), file.size());
}

TEST(InspectJson, IsOneValidObjectWhateverTheFileIsCalled) {
  const std::string script = "say 'hi'\n";
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  const std::string launcher =
      test::elfImage(0x40) + kPayloadMarker + std::string(pairs.begin(), pairs.end());
  // Quotes, control characters, and bytes that are not UTF-8, as a POSIX file name may hold.
  const std::string name = std::string("say \"hi\"\\\n\t\x01\x7f\0", 13) + "\x80\xe2\x82\xc0\xaf";
  for (const std::string& file : {launcher, std::string("not an executable")}) {
    const auto json = nlohmann::json::parse(inspectionJson(name, examine(file)));
    EXPECT_EQ(json["file"], std::string("say \"hi\"\\\n\t\x01\x7f\0", 13) +
                                "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(json["fileSize"], file.size());
    EXPECT_TRUE(json["warnings"].is_array());
    EXPECT_TRUE(json["notes"].is_array());
  }
  const auto json = nlohmann::json::parse(inspectionJson("launcher", examine(launcher)));
  EXPECT_EQ(json["format"], "ELF");
  EXPECT_EQ(json["bits"], 64);
  EXPECT_EQ(json["peFormat"], nullptr);
  EXPECT_EQ(json["scriptLength"], script.size());
  EXPECT_EQ(json["certificate"], nullptr);
  EXPECT_EQ(json["icon"], nullptr);
  EXPECT_EQ(json["versionInfo"], nullptr);
  EXPECT_EQ(json["warnings"].size(), 0u);
}

TEST(InspectText, CountsOfOneAreSingular) {
  const std::string launcher = test::elfImage(0x40) + kPayloadMarker + std::string("\x01x", 2);
  const std::string text = inspectionText("launcher", examine(launcher));
  EXPECT_NE(text.find("(2 bytes), 1 pair\n"), std::string::npos) << text;
  EXPECT_NE(text.find("(1 marker in"), std::string::npos) << text;
  EXPECT_NE(text.find("script             1 byte\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace tavmor
