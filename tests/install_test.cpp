// What `cmake --install` puts into a prefix: a stripped viewer that still carries both pictures,
// with --strip and without, a packer that runs, and a desktop entry that starts the viewer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/viewer.h"
#include "tests/packed_viewer.h"
#include "tests/x_session.h"

namespace {

const std::string kBuildDir = ZV_INSTALL_BUILD_DIR;
const std::string kCMake = ZV_CMAKE;
const std::string kAssets = ZV_ASSET_DIR;
const std::string kDesktopEntry = "/share/applications/org.zoravarova.Viewer.desktop";

// Installs the build tree into a fresh prefix of the test's own; DESTDIR from the caller's
// environment would send the files elsewhere, so the child runs without it.
std::string installInto(const std::string& testName, const std::vector<std::string>& extra) {
  const std::string dir = makeTestDirectory(testName);
  const std::string prefix = dir + "/prefix";
  std::vector<std::string> arguments{"--install", kBuildDir, "--prefix", prefix};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ChildProcess install(kCMake, arguments, {{"DESTDIR", ""}}, dir);
  EXPECT_EQ(install.waitForExit(120s), std::optional<int>(0)) << install.standardError();
  return prefix;
}

// The installed viewer is executable, stripped, and still carries both pictures.
void expectPackedAndStripped(const std::string& prefix) {
  const std::string viewer = prefix + "/bin/zoravarova";
  struct stat info {};
  ASSERT_EQ(stat(viewer.c_str(), &info), 0) << viewer << " was not installed";
  EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the installed viewer is not executable";

  const std::vector<std::uint8_t> elf = fileBytes(viewer);
  EXPECT_FALSE(findSection(elf, ".symtab").has_value()) << "the viewer keeps its symbols";
  EXPECT_TRUE(expectCarriesOurPictures(elf, kAssets).has_value());
}

void expectPackerRuns(const std::string& prefix, const std::string& outputDir) {
  ChildProcess packer(prefix + "/bin/zoravarova-pack", {}, {}, outputDir);
  EXPECT_EQ(packer.waitForExit(10s), std::optional<int>(2));
  EXPECT_EQ(packer.standardError().rfind("usage: zoravarova-pack ", 0), 0u)
      << packer.standardError();
}

TEST(Install, ShipsAStrippedViewerThatCarriesBothPictures) {
  const std::string prefix = installInto("InstallPlain", {});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

// --strip strips what is installed as a target; the viewer must not be one.
TEST(Install, StripOptionKeepsTheViewersPictures) {
  const std::string prefix = installInto("InstallStrip", {"--strip"});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

TEST(Install, ShipsTheLicenceAndNotices) {
  const std::string prefix = installInto("InstallDocs", {});
  for (const char* name : {"LICENSE", "THIRD_PARTY_NOTICES.md"}) {
    const std::vector<std::uint8_t> installed =
        fileBytes(prefix + "/" ZV_INSTALL_DOCDIR "/" + name);
    EXPECT_FALSE(installed.empty()) << name;
    EXPECT_TRUE(installed == fileBytes(std::string(ZV_SOURCE_ROOT) + "/" + name)) << name;
  }
}

// A key's value in the [Desktop Entry] group, with the escapes of a string value (\s, \n, \t,
// \r, \\) undone; nullopt when the group lacks the key. Localised keys (Name[de]) are other keys.
std::optional<std::string> desktopEntryValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  bool inGroup = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inGroup || equals == std::string::npos) {
      continue;
    }
    const std::string name = line.substr(0, line.find_last_not_of(' ', equals - 1) + 1);
    if (name != key) {
      continue;
    }
    const std::size_t start = line.find_first_not_of(' ', equals + 1);
    const std::string raw = start == std::string::npos ? "" : line.substr(start);
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size()) {
        const std::map<char, char> escapes{
            {'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
        const auto escape = escapes.find(raw[++i]);
        value += escape != escapes.end() ? escape->second : raw[i];
      } else {
        value += raw[i];
      }
    }
    return value;
  }
  return std::nullopt;
}

// The program and arguments of an Exec value as a launcher runs it with no files or URLs given:
// arguments split at spaces outside double quotes, \", \`, \$ and \\ unescaped inside them, %%
// made %, and the file, URL and deprecated field codes dropped, an argument of nothing else with
// them. nullopt for a field code that would need more than this entry has (%i, %c, %k) or for an
// unclosed quote.
std::optional<std::vector<std::string>> execArguments(const std::string& exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool started = false;  // an argument is under way, even an empty quoted one
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size() &&
                 std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
        current += exec[++i];
      } else {
        current += c;
      }
    } else if (c == ' ') {
      if (started) {
        arguments.push_back(current);
      }
      current.clear();
      started = false;
    } else if (c == '"') {
      quoted = started = true;
    } else if (c == '%' && i + 1 < exec.size()) {
      const char code = exec[++i];
      if (code == '%') {
        current += '%';
        started = true;
      } else if (std::string("fFuUdDnNvm").find(code) == std::string::npos) {
        return std::nullopt;
      }
    } else {
      current += c;
      started = true;
    }
  }
  if (quoted) {
    return std::nullopt;
  }
  if (started) {
    arguments.push_back(current);
  }
  return arguments;
}

TEST(DesktopEntry, ExecSplitsAsALauncherDoes) {
  using Arguments = std::vector<std::string>;
  EXPECT_EQ(execArguments("zoravarova"), Arguments{"zoravarova"});
  EXPECT_EQ(execArguments("zoravarova %U"), Arguments{"zoravarova"});
  EXPECT_EQ(execArguments("zoravarova  %f --x %u"), (Arguments{"zoravarova", "--x"}));
  EXPECT_EQ(execArguments("\"/opt/my apps/zv\" \"\" 100%%"),
            (Arguments{"/opt/my apps/zv", "", "100%"}));
  EXPECT_EQ(execArguments(R"(zv "say \"hi\" \$HOME \\ \`")"),
            (Arguments{"zv", R"(say "hi" $HOME \ `)"}));
  EXPECT_EQ(execArguments("zv %i"), std::nullopt);
  EXPECT_EQ(execArguments("zv \"open"), std::nullopt);

  const std::string entry =
      "# comment\n[Desktop Action New]\nExec=other\n[Desktop Entry]\nName=Z\n"
      "Exec[de]=localised\nExec = zv\\sarg\\\\s\nIcon=\n";
  EXPECT_EQ(desktopEntryValue(entry, "Exec"), "zv arg\\s");
  EXPECT_EQ(execArguments(*desktopEntryValue(entry, "Exec")), (Arguments{"zv", "arg\\s"}));
  EXPECT_EQ(desktopEntryValue(entry, "Icon"), "");
  EXPECT_EQ(desktopEntryValue(entry, "TryExec"), std::nullopt);
}

std::string installedDesktopEntry(const std::string& prefix) {
  const std::vector<std::uint8_t> bytes = fileBytes(prefix + kDesktopEntry);
  return {bytes.begin(), bytes.end()};
}

// What a menu entry runs: its Exec command, the program looked for in the prefix's bin/ only
// (the PATH of a desktop using this prefix), so that a viewer installed elsewhere on the machine
// cannot stand in for this one. The window must appear and Escape end it with 0.
TEST(Install, DesktopEntryStartsTheInstalledViewer) {
  const std::string prefix = installInto("InstallDesktopExec", {});
  const std::optional<std::string> exec = desktopEntryValue(installedDesktopEntry(prefix), "Exec");
  ASSERT_TRUE(exec.has_value()) << prefix + kDesktopEntry << " has no Exec";
  const std::optional<std::vector<std::string>> command = execArguments(*exec);
  ASSERT_TRUE(command.has_value() && !command->empty()) << "Exec=" << *exec;
  std::string program = command->front();
  if (program.find('/') == std::string::npos) {
    program = prefix + "/bin/" + program;
  }
  ASSERT_EQ(access(program.c_str(), X_OK), 0)
      << "Exec=" << *exec << ": " << program << " is not an installed program";

  const std::string outputDir = prefix + "/../desktop-run";
  std::filesystem::create_directories(outputDir);
  std::vector<std::string> run = *command;
  run.front() = program;
  RunningViewer viewer(nativeViewerCommand(run), outputDir);
  ASSERT_EQ(viewer.startProblem(), "") << "Exec=" << *exec;
  EXPECT_EQ(viewer.pressEscapeUntilExit(10s), std::optional<int>(0));
}

// The icon a menu shows is looked up by the entry's Icon in each size of the hicolor theme: every
// size installed must hold it, and at least one must be installed.
TEST(Install, DesktopEntryIconNamesTheInstalledIcons) {
  const std::string prefix = installInto("InstallDesktopIcon", {});
  const std::optional<std::string> icon = desktopEntryValue(installedDesktopEntry(prefix), "Icon");
  ASSERT_TRUE(icon.has_value() && !icon->empty()) << prefix + kDesktopEntry << " has no Icon";
  const std::filesystem::path theme = prefix + "/share/icons/hicolor";
  ASSERT_TRUE(std::filesystem::is_directory(theme)) << "no icon theme folder " << theme;
  int sizes = 0;
  for (const auto& size : std::filesystem::directory_iterator(theme)) {
    ++sizes;
    const std::filesystem::path file = size.path() / "apps" / (*icon + ".png");
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << "Icon=" << *icon << ": no " << file;
  }
  EXPECT_GE(sizes, 1) << "no icon installed under " << theme;
}

}  // namespace
