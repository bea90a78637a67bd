#pragma once

#include <QString>

// The reason an operating-system call failed, in Chinese, for the messages
// the user reads: the common causes by name, any other by its number.
QString systemErrorText(int code);
