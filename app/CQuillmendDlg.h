#pragma once
// The main dialog: the header bitmap across the top, the band of four command
// buttons, the browse window in the middle and the status line at the bottom
// with the e-mail counts and the hint of the button under the pointer.

#include "app/CMainButton.h"
#include "browse/CDbxBrowseWindow.h"
#include "ui/UserDialogs.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>

#include <functional>
#include <string>
#include <vector>

class CHelpWindow;
class QMenu;

namespace app {
class SaveJob;
struct SaveItem;
}

class CQuillmendDlg : public QDialog {
    Q_OBJECT
public:
    // Where the header's pieces go for a given client width.
    struct HeaderLayout {
        std::vector<int> middleCopies;  // x of each copy of the middle part (x 404..643 of the bitmap)
        int rightPartX = 0;             // x of the right part (x 644.. of the bitmap)
    };

    // Client-area geometry, in pixels.
    static constexpr int kBandHeight = 33;
    static constexpr int kBrowseTop = 135;
    static constexpr int kButtonTop = 105;
    static constexpr int kButtonHeight = 25;
    static constexpr int kOuterWidth = 660;
    static constexpr int kOuterHeight = 560;
    static constexpr int kMinOuterWidth = 600;
    static constexpr int kMinOuterHeight = 400;

    // Loads the icon and the header and status bitmaps and builds the buttons
    // and the browse window; the window itself is set up when first shown.
    explicit CQuillmendDlg(QWidget* parent = nullptr);
    ~CQuillmendDlg() override;

    // The header's pieces for a client `clientWidth` wide and a header bitmap
    // `headerWidth` wide (800).
    static HeaderLayout LayoutHeader(int clientWidth, int headerWidth);

    // The status line's counts come from here: the number of e-mails listed
    // and of ticked ones. Until set (or when a getter is empty) both are 0.
    void SetCountSource(std::function<int()> itemCount, std::function<int()> tickedCount);

    // Adds mail files named on the command line (the bytes of their paths)
    // under one folder node, as Load does (its text: the file's path, or the
    // folder that holds them all), and expands it; before the window is set
    // up, once it is, after the store's nodes. Once the window is on the
    // screen, names in a message the paths that are not files (those are not
    // added) and selects the first file so that its e-mails show. Nothing
    // happens for an empty list.
    void OpenFiles(const std::vector<std::string>& paths);

    // The dialogs the commands ask the user through; the real ones unless a
    // test set others (nullptr: the real ones again). Not owned.
    void SetUserDialogs(UserDialogs* dialogs) { dialogs_ = dialogs; }
    UserDialogs& Dialogs() const { return dialogs_ ? *dialogs_ : UserDialogs::Default(); }
    // The help window once Help has opened it, else nullptr.
    CHelpWindow* HelpWindow() const { return helpWindow_; }

    // The bottom strip of the client area that holds the status line.
    QRect StatusStripRect() const;
    // Repaints the status line (after the counts changed).
    void InvalidateStatusStrip();

    // The button of command IDC_BUTTON_SAVE..IDC_BUTTON_HELP, else nullptr.
    CMainButton* Button(int commandId);
    CDbxBrowseWindow& BrowseWindow() { return browseWindow_; }

    // The texts the status line shows now. In place of the notice line:
    // the list is incomplete, or, while no mail file is selected, what is
    // wrong with the store lookup.
    QString CountsText() const;
    QString HintText() const;
    int HintId() const { return hintId_; }

    // The header's context menu (the About entry) where the system menu
    // cannot take it; empty when the About entry lives in the system menu or
    // its text is empty. The caller owns the menu.
    QMenu* CreateHeaderMenu(QWidget* parent);

    // Ends the dialog at once (Accepted), without asking: Enter. Does nothing
    // while a search runs.
    virtual void OnOK();
    // Close box, Alt+F4, Esc: does nothing while the Save button is disabled
    // (a search runs); otherwise asks "Exit now?" and ends the dialog
    // (Rejected) on Yes.
    virtual void OnCancel();
    // Help button, F1 anywhere in the window: shows the installed help page
    // in the program's help window (a note there when the page is missing).
    void OnHelp();
    // Save button: writes the ticked e-mails of the selected mail file, in
    // the list's order, as .eml files into a folder the user chooses, then
    // says what was saved. Ticks, list and tree stay as they are.
    void OnSave();
    // The list menu's "Save ticked e-mails as one mbox file": as OnSave, but
    // into one new mbox file the user names (never an existing one).
    void OnSaveMbox();
    // A link of the preview's list of attachments: saves attachment
    // `number` of the e-mail shown as a file the user names in a save
    // dialog that offers the attachment's own name (made safe); a name that
    // is taken gets another, and the message says where it went.
    void OnSaveAttachment(int number);
    // The preview's "Save all attachments" link and the list menu's entry:
    // saves every attachment of the e-mail shown into a folder the user
    // chooses, then says what was saved whole, damaged or not at all.
    void OnSaveShownAttachments();
    // The list menu's "Save attachments of ticked e-mails": as
    // OnSaveShownAttachments, for every ticked e-mail in the list's order.
    void OnSaveTickedAttachments();
    // Load button: adds the .dbx files the user picks under a new folder node
    // and expands it; nothing is scanned or selected.
    void OnLoad();
    // Search button: asks what to search (drives or one folder), then
    // searches it for mail files into the tree with Save, Load and Search
    // disabled; nothing happens when the question is cancelled.
    void OnSearch();
    // System-menu command `id` (IDM_ABOUTBOX runs the About box).
    void OnSysCommand(unsigned id);

    // Sets the window up (OnInitDialog) before it is shown the first time.
    void setVisible(bool visible) override;
    // Every way of closing the window arrives here and goes to OnCancel.
    void reject() override;

protected:
    // Builds the window: system-menu entry, icon, buttons, browse window,
    // size and place. Runs once, before the window is first shown.
    virtual bool OnInitDialog();
    // Runs the writing of a Save to its end, showing its progress with a
    // Cancel button (tests replace it).
    virtual void RunSaveJob(app::SaveJob& job);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // The ticked rows of the list for a save, in the list's order; none (and
    // the user asked to tick some) when nothing is ticked.
    std::vector<app::SaveItem> TickedForSave();
    // Runs a save's job and tells the user what became of it (`target`: the
    // folder or file as shown).
    void SaveAndReport(app::SaveJob& job, const QString& target);
    // Asks for a folder, saves the attachments of `items` of `file` into it
    // and tells the user what became of them.
    void SaveAttachmentsOf(const dbx::DbxFile& file, std::vector<app::SaveItem> items);

    void PlaceWindow();
    // Adds `files` (absolute paths, as bytes) under one new folder node,
    // expanded.
    QTreeWidgetItem* AddFilesUnderOneNode(const std::vector<std::string>& files);
    // Runs `step` from the event loop once the window has been painted (at
    // once when it has been), so that what it shows reaches the screen.
    void RunWhenPainted(std::function<void()> step);

    QIcon icon_;
    QPixmap headerBitmap_;
    QPixmap statusBitmap_;
    CMainButton saveButton_;
    CMainButton loadButton_;
    CMainButton searchButton_;
    CMainButton helpButton_;
    CDbxBrowseWindow browseWindow_;
    QColor bandBrush_;
    int hintId_ = -1;
    std::function<int()> itemCount_;
    std::function<int()> tickedCount_;
    bool initialised_ = false;
    bool aboutInSystemMenu_ = false;
    bool placedAfterShow_ = false;
    bool painted_ = false;
    std::vector<std::function<void()>> afterFirstPaint_;
    std::vector<std::string> pendingFiles_;  // named on the command line before set-up
    QString storeNote_;         // what the status line says of the store lookup
    UserDialogs* dialogs_ = nullptr;
    CHelpWindow* helpWindow_ = nullptr;  // a child window, made by the first OnHelp
};
