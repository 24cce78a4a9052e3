#pragma once

class QWidget;

namespace vantor::app {

// Enter and Return press the button that has the focus, as the space bar does: every button,
// option button and check box of window, present when this is called, is pressed by them.
void pressFocusedButtonOnEnter(QWidget& window);

}  // namespace vantor::app
