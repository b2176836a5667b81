// SPDX-License-Identifier: MIT
#pragma once

#include "strokesequences.h"
#include "stroketable.h"

#include <QString>

// What the list window reads once at start: every count of the stroke
// database and the stroke sequences beside it.
struct StrokeData
{
    StrokeTable counts;
    StrokeSequences sequences;
};

// Reads DATA from the stroke database in APPLICATIONFOLDER, checked whole
// as the main window checks it, and the sequences beside it. Throws
// RuntimeError, worded for the user, when either is missing or damaged.
void loadStrokeData(const QString &applicationFolder, StrokeData *data);
