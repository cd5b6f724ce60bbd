#pragma once

// Screen scale and font sizes shared by every window and dialog.

// The primary screen's scale relative to 96 dots per inch, read once and kept
// for the rest of the run; 1.0 when the screen reports something absurd.
double systemDpiScale();

// Point size for one of the five font size classes (0 smallest ... 4 title),
// corrected for the screen scale: only scales from 120 % to 130 % shrink the
// fonts, because the toolkit already enlarges text by the scale there.
int fontPointSize(int sizeClass);

// The two rules above without the screen, for callers that know the values.
double dpiScaleFromDpi(double dotsPerInch);
int fontPointSizeForScale(int sizeClass, double scale);
