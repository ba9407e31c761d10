// The end-to-end scenarios' shared builders and checks.
#include "tests/e2e/scenario_kit.h"

#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tools/make/difference_encoder.h"

std::map<std::string, Scenario>& Scenarios() {
  static std::map<std::string, Scenario> scenarios;
  return scenarios;
}

std::string T(uint32_t key) { return Catalogue(key); }

std::string Title() {
  return Printf(T(kMsgTitleFormat).c_str(), Ansi(kProductName).c_str(), "1.0", "2.0");
}


// A 24-bit bitmap file of `width` x `height`: a blue and green gradient with
// a white diagonal, easy to spot in the header.
std::vector<uint8_t> PictureFile(int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  const uint32_t pixelBytes = static_cast<uint32_t>(stride * height);
  std::vector<uint8_t> file(54 + pixelBytes, 0);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  put32(34, pixelBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &file[54 + static_cast<size_t>(y * stride + x * 3)];
      const bool diagonal = std::abs(x - y) <= 1;
      pixel[0] = diagonal ? 255 : static_cast<uint8_t>(255 - 200 * x / width);  // blue
      pixel[1] = diagonal ? 255 : static_cast<uint8_t>(60 + 180 * y / height);  // green
      pixel[2] = diagonal ? 255 : 40;                                            // red
    }
  }
  return file;
}

std::string Folder(const std::string& scenario, const std::string& name) {
  std::string path = WorkFolder() + "\\" + scenario;
  CreateDirectoryA(path.c_str(), nullptr);
  if (name.empty()) return path;
  path += "\\" + name;
  return path;
}

std::string MakeFolder(const std::string& scenario, const std::string& name) {
  const std::string path = Folder(scenario, name);
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string WritePackage(const std::string& scenario, const PackageContent& content) {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ");
  plan.files.push_back(DeflatedFile("product", BytesOf(Ansi(content.product))));
  if (!content.install.empty()) {
    plan.files.push_back(DeflatedFile("install", BytesOf(Ansi(content.install))));
  }
  if (!content.license.empty()) {
    plan.files.push_back(DeflatedFile("license.rtf", BytesOf(content.license)));
  }
  if (!content.notes.empty()) {
    plan.files.push_back(DeflatedFile("notes.rtf", BytesOf(content.notes)));
  }
  if (!content.delFiles.empty()) {
    plan.files.push_back(DeflatedFile("del.files", BytesOf(content.delFiles)));
  }
  if (!content.picture.empty()) {
    plan.files.push_back(DeflatedFile("rtpic.bmp", content.picture));
  }
  plan.files.push_back(DeflatedFile("Add/readme.txt", BytesOf("new readme\r\n")));
  const std::vector<uint8_t> bytes = BuildPackage(plan).bytes;
  const std::string path = Folder(scenario, "package.bin");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// An `install` entry: the old folder as a fixed path, the log file, and
// `more` (more sections, or keys of the sections named here).
std::string Install(const std::string& oldFolder, const std::string& logFile,
                    const std::string& wizard, const std::string& more) {
  return "[SRC_FIXPATH]\r\nPath=" + oldFolder + "\r\n[LOG]\r\nLogFileName=" + logFile +
         "\r\n[WIZARD]\r\n" + wizard + more;
}

// The same folder written in upper case with a trailing separator.
std::string UpperWithSeparator(std::string path) {
  CharUpperA(path.data());
  return path + "\\";
}

bool FileHas(const std::string& path, const std::string& part) {
  std::ifstream file(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(file)), {});
  return content.find(part) != std::string::npos;
}

void ExpectFocus(App& app, int id, const std::string& what) {
  Expect(WaitUntil([&] { return app.Focus() == app.Item(id); }, 3000),
         what + ": the focus is on control " + std::to_string(id));
}

// A rejected field is selected as a whole and has the focus.
void ExpectSelected(App& app, int id) {
  ExpectFocus(app, id, "rejected field");
  const auto [start, end] = app.Selection(id);
  const int length = static_cast<int>(app.Text(id).size());
  Expect(start == 0 && end == length,
         Printf("control %d selected 0..%d, got %d..%d", id, length, start, end));
}

void ExpectHeader(App& app, const std::string& title, const std::string& subtitle) {
  Expect(app.Visible(kHeaderTitle) && app.Visible(kHeaderSubtitle), "the header is shown");
  ExpectText("header title", app.Text(kHeaderTitle), title);
  ExpectContains("header subtitle", app.Text(kHeaderSubtitle), subtitle);
}

// Waits for the stages to end on the progress page, closes it and checks
// the header and the exit code (1: the stages completed).
void CloseFromProgressPage(App& app) {
  app.WaitForPage(kLogView, "progress");
  Require([&] { return app.Text(kCancel) == T(kMsgButtonClose); }, "the button reads Close",
          60000);
  ExpectHeader(app, T(kMsgFinished), T(kMsgUpdateSucceeded));
  Expect(app.SendTo(kProgressBar, PBM_GETPOS) == 100, "the bar at 100 after a completed update");
  app.Click(kCancel);
  Expect(app.WaitForExit() == kExitCompleted, "exit code 1 after a completed update");
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An old and a new program: mostly the same bytes, some changed, some added.
std::vector<uint8_t> OldProgram() {
  std::vector<uint8_t> bytes(64 * 1024);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

std::vector<uint8_t> NewProgram() {
  std::vector<uint8_t> bytes = OldProgram();
  for (size_t at = 100; at < bytes.size(); at += 997) bytes[at] ^= 0x5A;
  const std::vector<uint8_t> tail = BytesOf("version 2.0 resources");
  bytes.insert(bytes.begin() + 3000, tail.begin(), tail.end());
  return bytes;
}

PackageEntryPlan DirectoryItem(const std::string& name) {
  PackageEntryPlan plan = StoredFile(name, {});
  plan.externalAttributes = kAttributeDirectory;
  return plan;
}

PackageEntryPlan UpdateItem(const std::string& name, const std::vector<uint8_t>& oldBytes,
                           const std::vector<uint8_t>& newBytes) {
  std::vector<uint8_t> difference;
  if (EncodeDifference(oldBytes, newBytes, {kAttributeArchive, 0}, {kAttributeArchive, 0},
                       difference) != EncodeStatus::kEncoded) {
    throw ScenarioFailed("the difference of " + name + " could not be encoded");
  }
  return DeflatedFile("Update/" + name + ".df", difference);
}


// The installed old version.
void LayOutOldVersion(const std::string& app) {
  CreateDirectoryA(app.c_str(), nullptr);
  WriteBytes(app + "\\app.exe", OldProgram());
  CreateDirectoryA((app + "\\data").c_str(), nullptr);
  WriteBytes(app + "\\data\\config.ini", BytesOf(kOldConfig));
  WriteBytes(app + "\\readme.txt", BytesOf("old readme"));
  WriteBytes(app + "\\obsolete.txt", BytesOf("bye"));
  WriteBytes(app + "\\keep.txt", BytesOf("keep"));
  CreateDirectoryA((app + "\\olddir").c_str(), nullptr);
}

// The package that turns the old version into the new one: every kind of
// item, a directory, and both deletion lists. `install` is the install entry.
std::string WriteUpdatePackage(const std::string& scenario, const std::string& install,
                               std::vector<PackageEntryPlan> extra) {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ");
  plan.files.push_back(DeflatedFile("product", BytesOf(Ansi(PackageContent().product))));
  plan.files.push_back(DeflatedFile("install", BytesOf(Ansi(install))));
  plan.files.push_back(StoredFile("del.files", BytesOf("obsolete.txt\r\n")));
  plan.files.push_back(StoredFile("del.dirs", BytesOf("olddir\r\n")));
  plan.files.push_back(DeflatedFile("Add/new.txt", BytesOf("brand new\r\n")));
  plan.files.push_back(DeflatedFile("Add/sub/deep/file.txt", BytesOf("deep\r\n")));
  plan.files.push_back(DirectoryItem("Add/emptydir/"));
  plan.files.push_back(DeflatedFile("Replace/readme.txt", BytesOf("new readme")));
  plan.files.push_back(UpdateItem("app.exe", OldProgram(), NewProgram()));
  plan.files.push_back(UpdateItem("data/config.ini", BytesOf(kOldConfig), BytesOf(kNewConfig)));
  for (PackageEntryPlan& item : extra) plan.files.push_back(std::move(item));
  const std::string path = Folder(scenario, "package.bin");
  WriteBytes(path, BuildPackage(plan).bytes);
  return path;
}

// Every file and directory under `root` as relative name -> content
// ("<dir>" for a directory).
void ListTree(const std::string& root, const std::string& prefix,
              std::map<std::string, std::string>& tree) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string relative = prefix.empty() ? name : prefix + "\\" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      tree[relative] = "<dir>";
      ListTree(root + "\\" + name, relative, tree);
    } else {
      const std::vector<uint8_t> bytes = ReadBytes(root + "\\" + name);
      tree[relative] = std::string(bytes.begin(), bytes.end());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::map<std::string, std::string> NewVersionTree() {
  const std::vector<uint8_t> program = NewProgram();
  return {{"app.exe", std::string(program.begin(), program.end())},
          {"data", "<dir>"},
          {"data\\config.ini", kNewConfig},
          {"readme.txt", "new readme"},
          {"keep.txt", "keep"},
          {"new.txt", "brand new\r\n"},
          {"sub", "<dir>"},
          {"sub\\deep", "<dir>"},
          {"sub\\deep\\file.txt", "deep\r\n"},
          {"emptydir", "<dir>"}};
}

void ExpectTree(const std::string& what, const std::string& root,
                const std::map<std::string, std::string>& expected) {
  std::map<std::string, std::string> actual;
  ListTree(root, "", actual);
  for (const auto& [name, content] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      Expect(false, what + ": " + name + " is missing");
    } else {
      Expect(found->second == content, what + ": " + name + " has other bytes");
    }
  }
  for (const auto& [name, content] : actual) {
    Expect(expected.count(name) != 0, what + ": " + name + " should not be there");
  }
}
