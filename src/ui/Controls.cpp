// Thin wrappers of child controls: the parts that need more than one message.
#include "ui/Controls.h"

namespace rover {

std::wstring TControl::Text() const {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(handle_, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TButton::Click() const {
    HWND parent = GetParent(handle_);
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(handle_), BN_CLICKED),
                 reinterpret_cast<LPARAM>(handle_));
}

void TListView::AddColumn(const std::wstring& title, int width, int format) const {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title.c_str());
    HWND header = reinterpret_cast<HWND>(SendMessageW(handle_, LVM_GETHEADER, 0, 0));
    const int count =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    column.iSubItem = count;
    SendMessageW(handle_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(count),
                 reinterpret_cast<LPARAM>(&column));
}

int TListView::AddRow(const std::wstring& caption, int image,
                      const std::vector<std::wstring>& subItems) const {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = Count();
    item.iImage = image;
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    const int row = static_cast<int>(
        SendMessageW(handle_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return row;
    for (size_t i = 0; i < subItems.size(); ++i) {
        LVITEMW sub = {};
        sub.iSubItem = static_cast<int>(i + 1);
        sub.pszText = const_cast<wchar_t*>(subItems[i].c_str());
        SendMessageW(handle_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&sub));
    }
    return row;
}

std::wstring TListView::ItemText(int row, int column) const {
    wchar_t buffer[520] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 520;
    const int length = static_cast<int>(SendMessageW(
        handle_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

int TListView::ItemImage(int row) const {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageW(handle_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

void TListView::FocusRow(int row) const {
    LVITEMW state = {};
    state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    state.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(handle_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(handle_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

} // namespace rover
