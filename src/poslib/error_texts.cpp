#include "poslib/library_error.h"

#include <map>

namespace poslib {

const char* errorText(POSNET_STATUS code) {
    // The bytes are Windows-1250, as the program expects from the printer maker's library.
    static const std::map<POSNET_STATUS, const char*> texts = {
        {1, "Nierozpoznana komenda"},
        {2, "Brak obowi\xB9zkowego pola"},
        {3, "B\xB3\xB9"
            "d konwersji pola"},
        {4, "B\xB3\xEA"
            "dny token"},
        {5, "B\xB3\xEA"
            "dna suma kontrolna"},
        {6, "B\xB3\xB9"
            "d ramki (brak mnemonika parametru)"},
        {8, "Utracono po\xB3\xB9"
            "czenie z drukark\xB9"},
        {10, "B\xB3\xEA"
             "dna d\xB3ugo\x9C\xE6 pola"},
        {11, "Przepe\xB3nienie bufora wej\x9C"
             "ciowego"},
        {15, "Brak sumy kontrolnej"},
        {382, "Pr\xF3"
              "ba wykonania raportu zerowego"},
        {1950, "Przekroczony zakres totalizer\xF3w paragonu"},
        {1992, "Brak pozycji na paragonie"},
        {2000, "B\xB3\xB9"
               "d pola stawki VAT (b\xB3\xEA"
               "dny numer lub nieaktywna stawka)"},
        {2005, "Niew\xB3"
               "a\x9C"
               "ciwy stan transakcji"},
        {2006, "B\xB3\xB9"
               "d pola ceny (cena musi by\xE6 wi\xEAksza od zera)"},
        {kInvalidHandle, "Nieprawid\xB3owy uchwyt"},
        {kInvalidArgument, "Nieprawid\xB3owy argument wywo\xB3"
                           "ania"},
        {kPortNotOpened, "Nie mo\xBFna otworzy\xE6 portu drukarki"},
        {kControlByteInValue, "Niedozwolony znak steruj\xB9"
                              "cy w warto\x9C"
                              "ci parametru"},
        {kMalformedRequest, "Nieprawid\xB3owy format polecenia lub parametr\xF3w"},
        {kBrokenAnswerFrame, "Uszkodzona ramka odpowiedzi drukarki"},
        {kUnexpectedAnswer, "Nieoczekiwana odpowied\x9F drukarki"},
        {kWrongCallOrder, "Nieprawid\xB3owa kolejno\x9C\xE6 wywo\xB3"
                          "a\xF1"},
        {kInternalError, "B\xB3\xB9"
                         "d wewn\xEA"
                         "trzny biblioteki"},
        {kNoMoreValues, "Brak kolejnych warto\x9C"
                        "ci odpowiedzi"},
    };
    const auto found = texts.find(code);
    return found == texts.end() ? nullptr : found->second;
}

} // namespace poslib
