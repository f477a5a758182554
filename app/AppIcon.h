// The program's icon, painted: a bell (the alarm a tocsin rings) with a level bar beneath.
#pragma once

#include <QIcon>

QIcon TocsinIcon();
