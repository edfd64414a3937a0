#pragma once

#include <QString>

// The caption of message boxes that name none of their own: the product name cut before its
// last space, again and again while longer than 40 characters. A text without a space stays.
QString SetAppTitle(const QString& productName);
