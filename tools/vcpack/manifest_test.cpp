#include "tools/vcpack/manifest.h"

#include <gtest/gtest.h>

#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

// The message of the refusal that parsing `text` throws; empty if none.
std::string refusal_of(const std::string& text) {
  try {
    parse_manifest(text, "pkg", "m.toml");
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exit_code(), kExitRefused);
    return error.what();
  }
  return "";
}

TEST(Manifest, RecordsKeepTheirOrderAcrossKinds) {
  const PackageSpec spec = parse_manifest(R"(
stub = "bin/vcboot"
[[record]]
variable = "executable"
value = "%installer%"
[[record]]
file = "dist/setup"
key = "installer"
as = "Setup.exe"
[[record]]
file = "/abs/post"
)",
                                          "pkg", "m.toml");
  EXPECT_EQ(spec.stub_path, "pkg/bin/vcboot");
  ASSERT_EQ(spec.records.size(), 3u);
  EXPECT_EQ(spec.records[0].kind, RecordSpec::Kind::kValue);
  EXPECT_EQ(spec.records[0].name, "executable");
  EXPECT_EQ(spec.records[0].text, "%installer%");
  EXPECT_EQ(spec.records[1].path, "pkg/dist/setup");
  EXPECT_EQ(spec.records[1].key, "installer");
  EXPECT_EQ(spec.records[1].stored_name, "Setup.exe");
  EXPECT_EQ(spec.records[2].path, "/abs/post");  // absolute paths stay
  EXPECT_EQ(spec.records[2].key, "");
  EXPECT_EQ(spec.records[2].stored_name, "post");
  EXPECT_EQ(spec.records[1].origin, "m.toml:6:1");
}

TEST(Manifest, EmptyValueAndEscapesAreKept) {
  const PackageSpec spec = parse_manifest(
      "[[record]]\nvariable = \"\"\nvalue = \"a\\tb\\u00e9\"\n", "", "m.toml");
  ASSERT_EQ(spec.records.size(), 1u);
  EXPECT_EQ(spec.records[0].name, "");
  EXPECT_EQ(spec.records[0].text, "a\tb\xc3\xa9");
}

TEST(Manifest, MistakesAreRefusedWithTheirPlace) {
  EXPECT_EQ(refusal_of("stub = 3\n"), "m.toml:1:8: \"stub\" must be a string");
  EXPECT_EQ(refusal_of("stubb = \"x\"\n"),
            "m.toml:1:1: unknown key \"stubb\" (expected \"stub\", "
            "\"ui\", \"log\", [[record]], [identity] or [texts])");
  EXPECT_EQ(refusal_of("[[record]]\nfile = \"a\"\nkey = \"k\"\nname = \"n\"\n"),
            "m.toml:4:1: unknown key \"name\" in this record; a file record "
            "takes \"file\", \"key\" and \"as\"");
  EXPECT_EQ(refusal_of("[[record]]\nvariable = \"v\"\nvalu = \"x\"\n"),
            "m.toml:3:1: unknown key \"valu\" in this record; a value record "
            "takes \"variable\" and \"value\"");
  EXPECT_EQ(refusal_of("[[record]]\nvariable = \"v\"\n"),
            "m.toml:1:1: a value record needs \"value\"");
  EXPECT_NE(refusal_of("[[record]]\nfile = \"a\"\nvariable = \"v\"\n")
                .find("exactly one"),
            std::string::npos);
  EXPECT_NE(refusal_of("[record]\nfile = \"a\"\n").find("array of tables"),
            std::string::npos);
  EXPECT_EQ(refusal_of("stub = \"x\"\nstub = \"y\"\n").substr(0, 9),
            "m.toml:2:");
  // The identity's tables, each mistake at its place.
  for (const auto& [text, message] :
       std::vector<std::pair<std::string, std::string>>{
           {"identity = 1\n", "m.toml:1:12: \"identity\" must be a table"},
           {"[identity]\nicons = \"a.ico\"\n",
            "m.toml:2:1: unknown key \"icons\" in [identity]"},
           {"[identity]\nversion = \"1.x\"\n",
            "m.toml:2:11: the version \"1.x\" is not"},
           {"[identity]\nexecution-level = \"admin\"\n",
            "m.toml:2:19: the execution level is"},
           {"[identity.version-info]\nProduct = \"x\"\n",
            "m.toml:2:11: no version text \"Product\""},
           {"[texts]\n\"invalid-archive\" = \"x\"\n",
            "m.toml:2:1: no text named \"invalid-archive\""},
           {"[texts]\n\"invalid-archive.text\" = 1\n",
            "m.toml:2:26: \"invalid-archive.text\" must be a string"},
       }) {
    EXPECT_EQ(refusal_of(text).substr(0, message.size()), message) << text;
  }
}

TEST(Manifest, TheIdentityTablesGiveIconVersionTextsAndSettings) {
  const PackageSpec spec = parse_manifest(R"(
[identity]
icon = "art/product.ico"
version = "2.1"
execution-level = "highestAvailable"
guard-name = "Acme.Setup"
[identity.version-info]
ProductName = "Acme"
[texts]
"invalid-archive.caption" = "Kaputt"
)",
                                          "pkg", "m.toml");
  const StubIdentity& identity = spec.identity;
  EXPECT_EQ(identity.icon, "pkg/art/product.ico");
  EXPECT_EQ(identity.version, "2.1");
  EXPECT_EQ(identity.execution_level, "highestAvailable");
  ASSERT_EQ(identity.version_info.size(), 1u);
  EXPECT_EQ(identity.version_info[0].text, "Acme");
  ASSERT_EQ(identity.settings.size(), 2u);
  EXPECT_EQ(identity.settings[0].name, "guard-name");
  EXPECT_EQ(identity.settings[1].value, "Kaputt");
  EXPECT_EQ(identity.settings[1].origin, "m.toml:10:29");
}

TEST(Manifest, UnreadableManifestIsRefusedWithTheReason) {
  for (const auto& [path, reason] :
       {std::pair<std::string, std::string>{"/nonexistent/m.toml",
                                            "No such file or directory"},
        {"/", "it is a folder"}}) {
    try {
      load_manifest(path);
      FAIL() << "no refusal";
    } catch (const ToolError& error) {
      EXPECT_EQ(error.exit_code(), kExitRefused);
      EXPECT_EQ(error.what(), "cannot read manifest " + path + ": " + reason);
    }
  }
}

}  // namespace
}  // namespace vcpack
