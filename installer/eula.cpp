// Licence agreement: the text in the user's language and its one answer.
#include "installer/eula.h"

#include "installer/messages.h"
#include "toolkit/runtime/console.h"
#include "toolkit/runtime/tokens.h"

#include <cstdio>

// Agreement keys, in the order of the texts below; the trailing comma is part
// of the list.
static const char EulaKeys[] =
    ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR,cs_CZ,fi_FI,hu_HU,nl_NL,no_NO,pl_PL,ru_RU,sv_SE,tr_TR,"
    "da_DK,";

// The text for a key; English for "en_US" and for any key not listed.
static char *agreementFor(const char *key) {
    char *const texts[] = {pEnglishEULA,   pSpanishEULA,    pItalianEULA,   pFrenchEULA,
                           pGermanEULA,    pPortugueseEULA, pCzechEULA,     pFinnishEULA,
                           pHungarianEULA, pDutchEULA,      pNorwegianEULA, pPolishEULA,
                           pRussianEULA,   pSwedishEULA,    pTurkishEULA,   pDanishEULA};
    int pos = FindToken(key, EulaKeys);
    return pos >= 2 && pos <= 16 ? texts[pos - 1] : pEnglishEULA;
}

char flAcceptLicence = 0;

int UserAcceptedEULA(void) {
    char answer[4];
    printf("%s ", agreementFor(GetTargetNLSLang()));
    if (flAcceptLicence) printf("y\n");
    fflush(stdout);
    if (flAcceptLicence) return 1;
    if (Gets(answer, sizeof answer) == nullptr) return 0;
    return answer[0] == 'y' || answer[0] == 'Y';
}
