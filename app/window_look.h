#pragma once
// What the program's windows share in their look: the button face behind
// them and Tahoma 8 (a sans-serif font where Tahoma is missing), so that a
// chart looks the same in every window.

class QWidget;

void ApplyWindowLook(QWidget& window);
