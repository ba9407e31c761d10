// Rich text and control placement helpers shared by the frame and the pages.
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "message_keys.h"
#include "startup/message_catalogue.h"
#include "wizard/wizard.h"

namespace {

// The text still to stream into a rich edit.
struct StreamSource {
  const char* next;
  LONG remaining;
};

DWORD CALLBACK ReadStreamSource(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* copied) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const LONG count = std::min(requested, source->remaining);
  std::memcpy(buffer, source->next, static_cast<size_t>(count));
  source->next += count;
  source->remaining -= count;
  *copied = count;
  return 0;
}

}  // namespace

const char* CatalogueText(uint32_t key) {
  const char* text = LookupText(key);
  return text != nullptr ? text : "";
}

TextBuffer RtfText(int halfPoints, const char* body) {
  TextBuffer rtf;
  rtf.Format(CatalogueText(kMsgRtfWrapper), halfPoints, body);
  return rtf;
}

void StreamRtf(HWND dialog, int controlId, const char* rtf) {
  if (rtf == nullptr) return;
  // The terminating NUL is streamed too.
  StreamSource source{rtf, static_cast<LONG>(std::strlen(rtf)) + 1};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadStreamSource;
  SendDlgItemMessageA(dialog, controlId, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

void SetRichText(HWND dialog, int controlId, COLORREF background, const char* rtf) {
  SendDlgItemMessageA(dialog, controlId, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(background));
  SendDlgItemMessageA(dialog, controlId, EM_AUTOURLDETECT, TRUE, 0);
  SendDlgItemMessageA(dialog, controlId, EM_SETEVENTMASK, 0, ENM_LINK);
  StreamRtf(dialog, controlId, rtf);
}

void ShowDlgControl(HWND dialog, int controlId, bool show) {
  ShowWindow(GetDlgItem(dialog, controlId), show ? SW_SHOW : SW_HIDE);
}

void AlignControlTo(HWND dialog, int movedId, int anchorId, bool toLeftEdge) {
  HWND moved = GetDlgItem(dialog, movedId);
  HWND anchor = GetDlgItem(dialog, anchorId);
  if (moved == nullptr || anchor == nullptr) return;
  RECT movedRect;
  RECT anchorRect;
  GetWindowRect(moved, &movedRect);
  GetWindowRect(anchor, &anchorRect);
  for (RECT* rect : {&movedRect, &anchorRect}) {
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&rect->left));
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&rect->right));
  }
  const int width = movedRect.right - movedRect.left;
  const int right = toLeftEdge ? anchorRect.left : anchorRect.right;
  MoveWindow(moved, right - width, movedRect.top, width, movedRect.bottom - movedRect.top, FALSE);
}
