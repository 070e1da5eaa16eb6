#pragma once
// Enter on a focused button clicks it, as on Windows, whether or not the button is the dialog's
// default: Qt presses only a default button on Enter, and only Space on the others.
class QWidget;

// Gives every push button inside `window` (now, not ones made later) that behaviour.
void clickButtonsOnEnter(QWidget* window);
