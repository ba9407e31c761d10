// The folder and options pages: their controls, the folder browser and the
// log file chooser. What they accept is decided by settings/page_rules.
#include <windows.h>
#include <commdlg.h>
#include <richedit.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "engine/run_context.h"
#include "message_keys.h"
#include "settings/page_rules.h"
#include "wizard/wizard.h"

namespace {

constexpr int kOldFolderBrowse = 1009;
constexpr int kNewFolderBrowse = 1011;
constexpr int kFolderHint = 1007;
constexpr int kInstallHint = 1013;
constexpr int kFolderLine = 1012;
constexpr int kBackupBrowse = 1021;
constexpr int kLogBrowse = 1022;

constexpr int kEditTextSize = 4096;  // at most 4095 characters

PatchSettings& Settings() { return Wizard().context->settings; }

// The folder the folder browser opens at: the edit's text before each
// browse, the chosen folder after it.
TextBuffer gBrowseStart;

void ReadEditText(HWND dialog, int controlId, TextBuffer& buffer) {
  char text[kEditTextSize];
  if (GetDlgItemTextA(dialog, controlId, text, kEditTextSize) == 0) {
    buffer.Release();
    return;
  }
  buffer.AssignText(text);
  CleanEditText(buffer);
  SetDlgItemTextA(dialog, controlId, buffer.chars());
}

// The page's controls wherever they are at the moment of each call: a
// rejection brings the page into the frame halfway through its commit.
class DialogPageControls final : public PageControls {
 public:
  explicit DialogPageControls(int pageIndex) : pageIndex_(pageIndex) {}

  void ReadEditText(uint16_t controlId, TextBuffer& out) override {
    ::ReadEditText(PageHost(pageIndex_), controlId, out);
  }
  void ReadLabelText(uint16_t controlId, TextBuffer& out) override {
    char text[kEditTextSize];
    GetDlgItemTextA(PageHost(pageIndex_), controlId, text, kEditTextSize);
    out.AssignText(text);
  }
  bool IsChecked(uint16_t controlId) override {
    return IsDlgButtonChecked(PageHost(pageIndex_), controlId) == BST_CHECKED;
  }
  void FailValidation(uint16_t controlId) override { ::FailValidation(controlId); }
  PathKind ProbePath(const char* path) override {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return GetLastError() == ERROR_INVALID_NAME ? PathKind::kInvalidName : PathKind::kMissing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kFile;
  }

 private:
  int pageIndex_;
};

void SelectAndFocus(HWND dialog, int editId) {
  HWND edit = GetDlgItem(dialog, editId);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM startPath) {
  if (message == BFFM_INITIALIZED) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, startPath);
  return 0;
}

void BrowseForFolder(int editId) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return;
  HWND frame = Wizard().FrameWindow;

  ReadEditText(frame, editId, gBrowseStart);
  BROWSEINFOA browse{};
  browse.hwndOwner = frame;
  browse.lpszTitle = CatalogueText(kMsgChooseFolder);
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(gBrowseStart.chars());

  LPITEMIDLIST item = SHBrowseForFolderA(&browse);
  if (item != nullptr) {
    char path[MAX_PATH];
    if (SHGetPathFromIDListA(item, path)) {
      gBrowseStart.AssignText(path);
      SetDlgItemTextA(frame, editId, path);
      SelectAndFocus(frame, editId);
    }
    allocator->Free(item);
  }
  allocator->Release();
}

void ChooseLogFile(int editId) {
  // Prepared on first use and kept for the rest of the run.
  static OPENFILENAMEA description;
  static char filter[256];
  static bool prepared = false;
  HWND frame = Wizard().FrameWindow;
  const PatchSettings& settings = Settings();
  if (!prepared) {
    // One entry: the text, its pattern, and the empty name that ends the list.
    const char* name = CatalogueText(kMsgLogFileFilter);
    const size_t nameLength = std::min(std::strlen(name), sizeof filter - 8);
    std::memcpy(filter, name, nameLength);
    std::memcpy(filter + nameLength, "\0*.log\0", 8);
    description = OPENFILENAMEA{};
    description.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    description.hwndOwner = frame;
    description.lpstrFilter = filter;
    description.nFilterIndex = 1;
    description.lpstrTitle = CatalogueText(kMsgChooseLogFile);
    description.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                        OFN_NOTESTFILECREATE | OFN_LONGNAMES | OFN_NODEREFERENCELINKS |
                        OFN_DONTADDTORECENT | OFN_FORCESHOWHIDDEN;
    if (settings.OverwriteLog != 0) description.Flags |= OFN_OVERWRITEPROMPT;
    description.lpstrDefExt = "log";
    prepared = true;
  }
  char fileName[kEditTextSize] = "";
  description.lpstrFile = fileName;
  description.nMaxFile = kEditTextSize;
  description.lpstrInitialDir =
      settings.DestinationFolder.empty() ? nullptr : settings.DestinationFolder.chars();
  if (GetOpenFileNameA(&description)) {
    SetDlgItemTextA(frame, editId, fileName);
    SelectAndFocus(frame, editId);
  }
}

void EnableByCheckBox(int checkBoxId, int editId, int buttonId) {
  HWND dialog = Wizard().ActiveDialog;
  const BOOL enable = IsDlgButtonChecked(dialog, checkBoxId) == BST_CHECKED;
  EnableWindow(GetDlgItem(dialog, editId), enable);
  EnableWindow(GetDlgItem(dialog, buttonId), enable);
}

void EnableBackupControls() { EnableByCheckBox(kBackupBox, kBackupEdit, kBackupBrowse); }
void EnableLogControls() { EnableByCheckBox(kLogBox, kLogEdit, kLogBrowse); }

void InitialiseFolderPage(HWND page) {
  const PatchSettings& settings = Settings();
  TextBuffer label;
  label.Format(CatalogueText(kMsgFolderLocation), settings.ProductName.chars(),
               settings.ApplyToSrc != 0 ? settings.NewVersion.chars()
                                        : settings.OldVersion.chars());
  SetDlgItemTextA(page, kOldFolderLabel, label.chars());
  label.Format(CatalogueText(kMsgFolderLocation), settings.ProductName.chars(),
               settings.NewVersion.chars());
  SetDlgItemTextA(page, kNewFolderLabel, label.chars());

  const COLORREF buttonFace = Wizard().ui->buttonFaceColour;
  TextBuffer rtf = RtfText(18, CatalogueText(kMsgConfirmFolder));
  SetRichText(page, kFolderHint, buttonFace, rtf.chars());
  rtf = RtfText(18, CatalogueText(kMsgInstallHint));
  SetRichText(page, kInstallHint, buttonFace, rtf.chars());

  SetDlgItemTextA(page, kOldFolderEdit, settings.SourceFolder.chars());
  SetDlgItemTextA(page, kNewFolderEdit, settings.DestinationFolder.chars());
  const bool newFolderShown = settings.ApplyToSrc == 0;
  for (int id : {kFolderLine, static_cast<int>(kNewFolderLabel), kNewFolderBrowse,
                 static_cast<int>(kNewFolderEdit)}) {
    ShowDlgControl(page, id, newFolderShown);
  }
}

void InitialiseOptionsPage(HWND page) {
  const PatchSettings& settings = Settings();
  CheckDlgButton(page, kVerifyBox, BST_INDETERMINATE);
  CheckDlgButton(page, kSimulateBox, settings.SimulateApplying != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kApplyBox, settings.ApplyUpdate != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kBackupBox, settings.ExecuteBackup != 0 ? BST_CHECKED : BST_UNCHECKED);
  EnableBackupControls();
  SetDlgItemTextA(page, kBackupEdit, settings.BackupPath.chars());
  CheckDlgButton(page, kLogBox, settings.WriteLog != 0 ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextA(page, kLogEdit, settings.LogFileName.chars());
  EnableLogControls();
}

}  // namespace

INT_PTR CALLBACK FolderPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Wizard().ActiveDialog = window;
      InitialiseFolderPage(window);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kOldFolderBrowse:
          BrowseForFolder(kOldFolderEdit);
          return TRUE;
        case kNewFolderBrowse:
          BrowseForFolder(kNewFolderEdit);
          return TRUE;
        default:
          return 0;
      }
    case WMU_INSTALLPAGE: {
      // As the install page, Install takes the Options button's place.
      const bool installPage = lParam != 0;
      ShowDlgControl(window, kIdNext, !installPage);
      AlignControlTo(window, kIdInstall, kIdNext, !installPage);
      AlignControlTo(window, kIdBack, kIdInstall, true);
      return TRUE;
    }
    case WMU_COMMIT: {
      DialogPageControls controls(kFolderPage);
      static_cast<void>(CommitFolderPage(*Wizard().context, controls));
      return TRUE;
    }
    default:
      return 0;
  }
}

INT_PTR CALLBACK OptionsPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Wizard().ActiveDialog = window;
      InitialiseOptionsPage(window);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kBackupBox:
          EnableBackupControls();
          return TRUE;
        case kLogBox:
          EnableLogControls();
          return TRUE;
        case kBackupBrowse:
          BrowseForFolder(kBackupEdit);
          return TRUE;
        case kLogBrowse:
          ChooseLogFile(kLogEdit);
          return TRUE;
        default:
          return 0;
      }
    case WMU_COMMIT: {
      DialogPageControls controls(kOptionsPage);
      static_cast<void>(CommitOptionsPage(*Wizard().context, controls));
      return TRUE;
    }
    default:
      return 0;
  }
}
