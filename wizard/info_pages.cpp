// The read-only pages: welcome, licence and release notes, and opening the
// links in their rich texts.
#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include "engine/run_context.h"
#include "message_keys.h"
#include "wizard/wizard.h"

namespace {

constexpr int kWelcomeInfo = 1023;
constexpr int kWelcomeTitle = 1040;
constexpr int kWelcomeText = 1022;
constexpr int kWelcomeInfoLine = 1024;
constexpr int kLicenceText = 1007;
constexpr int kAcceptButton = 1036;
constexpr int kDeclineButton = 1037;
constexpr int kNotesText = 1025;

// The longest link passed to the shell, in characters.
constexpr LONG kLinkCharacters = 1022;

PatchSettings& Settings() { return Wizard().context->settings; }
COLORREF ButtonFace() { return Wizard().ui->buttonFaceColour; }

// Opens a link that was clicked with the left button in one of the pages'
// rich edits; non-zero when it did.
INT_PTR OpenClickedLink(LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header->code != EN_LINK) return 0;
  const auto* link = reinterpret_cast<const ENLINK*>(lParam);
  if (link->msg != WM_LBUTTONDOWN) return 0;

  CHARRANGE range = link->chrg;
  if (range.cpMax - range.cpMin > kLinkCharacters) range.cpMax = range.cpMin + kLinkCharacters;
  // Room for two bytes a character: the ANSI code page may be a double-byte
  // one, and the link is counted in characters.
  char text[2 * (kLinkCharacters + 1)];
  TEXTRANGEA textRange{range, text};
  if (SendMessageA(header->hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&textRange)) ==
      0) {
    return 0;
  }
  CHARRANGE selection = link->chrg;
  SendMessageA(header->hwndFrom, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  // A link the shell cannot open is ignored.
  ShellExecuteA(nullptr, "Open", text, nullptr, nullptr, SW_SHOWNORMAL);
  return 1;
}

INT_PTR LinkNotice(LPARAM lParam, int controlId) {
  return reinterpret_cast<const NMHDR*>(lParam)->idFrom == static_cast<UINT_PTR>(controlId)
             ? OpenClickedLink(lParam)
             : 0;
}

// Appends `format` filled with `value` to `text`.
void AppendFormatted(TextBuffer& text, const char* format, const char* value) {
  TextBuffer piece;
  piece.Format(format, value);
  text.Append(piece);
}

void InitialiseWelcome(HWND page) {
  const PatchSettings& settings = Settings();
  TextBuffer rtf = RtfText(22, CatalogueText(kMsgWelcomeTitle));
  TextBuffer text;
  text.Format(rtf.chars(), settings.ProductName.chars());
  SetRichText(page, kWelcomeTitle, kWhite, text.chars());

  rtf = RtfText(18, CatalogueText(kMsgWelcomeText));
  text.Format(rtf.chars(), settings.ProductName.chars(), settings.OldVersion.chars(),
              settings.NewVersion.chars());
  SetRichText(page, kWelcomeText, ButtonFace(), text.chars());

  const bool hasInfo =
      !settings.Web.empty() || !settings.EMail.empty() || !settings.Copyright.empty();
  if (hasInfo) {
    HWND welcomeText = GetDlgItem(page, kWelcomeText);
    RECT rect;
    GetWindowRect(welcomeText, &rect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
    SetWindowPos(welcomeText, nullptr, rect.left, rect.top - 8, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    TextBuffer info;
    if (!settings.Web.empty()) {
      AppendFormatted(info, CatalogueText(kMsgWebLine), settings.Web.chars());
    }
    if (!settings.EMail.empty()) {
      AppendFormatted(info, CatalogueText(kMsgMailLine), settings.EMail.chars());
    }
    if (!settings.Copyright.empty()) {
      TextBuffer piece;
      piece.Format(CatalogueText(kMsgSpacerParagraph), 16, settings.Copyright.chars());
      info.Append(piece);
    }
    rtf = RtfText(16, info.chars());
    SetRichText(page, kWelcomeInfo, ButtonFace(), rtf.chars());
  }
  ShowDlgControl(page, kWelcomeInfo, hasInfo);
  ShowDlgControl(page, kWelcomeInfoLine, hasInfo);
}

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Wizard().ActiveDialog = window;
      InitialiseWelcome(window);
      return FALSE;
    case WM_NOTIFY:
      return LinkNotice(lParam, kWelcomeInfo);
    default:
      return 0;
  }
}

INT_PTR CALLBACK LicencePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      Wizard().ActiveDialog = window;
      // Declined at first, so Next stays disabled as in the template.
      CheckRadioButton(window, kAcceptButton, kDeclineButton, kDeclineButton);
      TextBuffer& licence = Settings().LicenceText;
      SetRichText(window, kLicenceText, kWhite, licence.chars());
      licence.Release();
      return FALSE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if ((id != kAcceptButton && id != kDeclineButton) || HIWORD(wParam) != BN_CLICKED) return 0;
      EnableWindow(GetDlgItem(window, kIdNext),
                   IsDlgButtonChecked(window, kAcceptButton) == BST_CHECKED);
      return TRUE;
    }
    case WM_NOTIFY:
      return LinkNotice(lParam, kLicenceText);
    default:
      return 0;
  }
}

INT_PTR CALLBACK NotesPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Wizard().ActiveDialog = window;
      SetRichText(window, kNotesText, kWhite, Settings().NotesText.chars());
      return FALSE;
    case WM_NOTIFY:
      return LinkNotice(lParam, kNotesText);
    default:
      return 0;
  }
}
