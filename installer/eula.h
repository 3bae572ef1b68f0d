// Licence agreement display and acceptance.
#pragma once

#include "toolkit/runtime/shared.h"

// The sixteen agreement texts (UTF-8, each starting with a newline and a
// byte-order mark, the Russian one with the byte-order mark alone, and
// ending with the yes/no question without a newline).
extern char *pEnglishEULA;
extern char *pSpanishEULA;
extern char *pItalianEULA;
extern char *pFrenchEULA;
extern char *pGermanEULA;
extern char *pPortugueseEULA;
extern char *pCzechEULA;
extern char *pFinnishEULA;
extern char *pHungarianEULA;
extern char *pDutchEULA;
extern char *pNorwegianEULA;
extern char *pPolishEULA;
extern char *pRussianEULA;
extern char *pSwedishEULA;
extern char *pTurkishEULA;
extern char *pDanishEULA;

// 1 when the command line accepted the agreement (--accept-licence).
extern char flAcceptLicence;

// Shows the agreement in the language of GetTargetNLSLang() on standard
// output and reads the answer from standard input. Returns 1 when the
// answer begins with 'y' or 'Y', else 0 (end of input refuses too). With
// flAcceptLicence set nothing is read: the answer "y" and a newline follow
// the question, so that a transcript shows what was accepted, and 1 is
// returned.
int UserAcceptedEULA(void);
