#pragma once

class QWidget;

// What every window of the program does alike.
namespace vantor::app {

// Enter and Return press the button that has the focus, as the space bar does: every button,
// option button and check box of window, present when this is called, is pressed by them.
void pressFocusedButtonOnEnter(QWidget& window);

// Shrinks a window that is not shown yet to the room its screen has, leaving some for a
// title bar and frame; never below the window's minimum size.
void fitOnScreen(QWidget& window);

}  // namespace vantor::app
