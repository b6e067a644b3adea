#pragma once

// A window that can own a modal dialog. The program never has one: every caller passes none.
class TFinestra;
