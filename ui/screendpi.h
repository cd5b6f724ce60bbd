#pragma once

// Horizontal dots per inch of the primary screen as the toolkit lays out text
// (the logical DPI, what the Windows build reads with GetDeviceCaps), or 0
// when there is no screen.
double primaryScreenLogicalDpi();
