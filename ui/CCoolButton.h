#pragma once
// A push button that paints itself from a ButtonSkin: the face is cut from
// the skin's cell for the current state (normal, pointer over, pressed,
// disabled), an optional 32 x 32 icon sits at the left (grey when disabled)
// and the caption is drawn in a colour per state. While the pointer is over
// it, the button posts WM_BUTTONHINT to a hint owner.

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>

#include <array>

class ButtonSkin;
class QPainter;

class CCoolButton : public QPushButton {
    Q_OBJECT
public:
    // Drawing states; state s is drawn from cell s of the skin.
    enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    // What a paint request asks for, as the owner-draw record tells it.
    enum ItemState : unsigned { kItemSelected = 0x1, kItemDisabled = 0x4, kItemFocus = 0x10 };
    enum ItemAction : unsigned { kActionDrawEntire = 0x1, kActionSelect = 0x2, kActionFocus = 0x4 };
    struct DrawItemStruct {
        QPainter* painter;
        unsigned itemState;
        unsigned itemAction;
    };

    // A button drawn with `skin`, which is not owned and must outlive the
    // button; with a null skin the button draws nothing at all.
    explicit CCoolButton(ButtonSkin* skin, QWidget* parent = nullptr);
    ~CCoolButton() override;

    // Sets the caption colour of state 0..3; other states are ignored.
    void SetStateTextColor(int state, const QColor& colour);
    // The caption colour of state 0..3 (black for any other).
    QColor StateTextColor(int state) const;

    // Loads icon `id` of the program's resources as the button's icon; an id
    // without an icon leaves the button without one.
    void SetIconId(int id);
    // Uses `icon` (32 x 32) as the button's icon; a null pixmap removes it.
    void SetIconPixmap(const QPixmap& icon);

    // Non-zero: never draw the focus rectangle.
    void SetNoFocusRect(int flag) { noFocusRect_ = flag; }
    // Where and what WM_BUTTONHINT posts; nothing is posted while the owner is
    // null or the id is -1.
    void SetHintOwner(QObject* owner) { hintOwner_ = owner; }
    void SetHintId(int id) { hintId_ = id; }
    int HintId() const { return hintId_; }

    // True while the button follows the pointer (it came in and has not left
    // since): the stand-in for holding the mouse capture.
    bool IsTracking() const { return tracking_; }

    // The state a paint would draw now for the given owner-draw item state.
    int ChooseState(unsigned itemState) const;

protected:
    // Paints the whole button: face, icon, caption and focus rectangle.
    virtual void DrawItem(const DrawItemStruct& item);
    // Paints the face of cell `cell` (and the icon) over the whole button.
    void DrawSkin(QPainter& target, int cell);

    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void PostHint(int id);
    void StartTracking();
    void StopTracking();
    void DrawGreyIcon(QPainter& target, int top);

    ButtonSkin* skin_;
    int noFocusRect_ = 0;
    int hintId_ = -1;
    QPointer<QObject> hintOwner_;
    QPixmap icon_;
    std::array<QColor, 4> stateTextColors_;
    bool tracking_ = false;
    bool leftHeld_ = false;
};
