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
        {12, "Komenda niedozwolona w trybie natychmiastowym"},
        {13, "Nie znaleziono tokenu"},
        {14, "Przepe\xB3nienie kolejki wej\x9C"
             "ciowej"},
        {15, "Brak sumy kontrolnej"},
        {382, "Pr\xF3"
              "ba wykonania raportu zerowego"},
        {1992, "Brak pozycji na paragonie"},
        {2000, "B\xB3\xB9"
               "d pola stawki VAT (b\xB3\xEA"
               "dny numer lub nieaktywna stawka)"},
        {2005, "Brak trybu transakcji (paragon nie jest otwarty)"},
        {2006, "B\xB3\xB9"
               "d pola ceny (cena musi by\xE6 wi\xEAksza od zera)"},
        {2007, "B\xB3\xB9"
               "d pola ilo\x9C"
               "ci (ilo\x9C\xE6 musi by\xE6 wi\xEAksza od zera)"},
        {2008, "B\xB3\xEA"
               "dna warto\x9C\xE6 pozycji (inna ni\xBF cena razy ilo\x9C\xE6)"},
        {2009, "Zerowa warto\x9C\xE6 pozycji"},
        {2010, "Przepe\xB3nienie totalizer\xF3w dobowych"},
        {2038, "Urz\xB9"
               "dzenie w trybie transakcji (paragon jest otwarty)"},
        {2041, "Zerowa warto\x9C\xE6 paragonu"},
        {2054, "Wp\xB3"
               "aty nie pokrywaj\xB9 sumy paragonu"},
        {2060, "Niew\xB3"
               "a\x9C"
               "ciwy stan transakcji"},
        {2104, "Pusta nazwa towaru"},
        {2705, "B\xB3\xEA"
               "dna forma p\xB3"
               "atno\x9C"
               "ci"},
        {2805, "Suma paragonu inna ni\xBF suma pozycji"},
        {2808, "Kwota wp\xB3"
               "at inna ni\xBF suma p\xB3"
               "atno\x9C"
               "ci"},
        {1953, "P\xB3"
               "atno\x9C"
               "ci ju\xBF pokrywaj\xB9 nale\xBFno\x9C\xE6"},
        {1958, "Przekroczony zakres warto\x9C"
               "ci opakowa\xF1"},
        {1961, "Za du\xBF"
               "a reszta"},
        {1962, "P\xB3"
               "atno\x9C\xE6 o warto\x9C"
               "ci zero"},
        {1981, "Warto\x9C\xE6 po rabacie lub narzucie poza zakresem"},
        {1983, "Warto\x9C\xE6 podstawy ujemna lub zerowa"},
        {1984, "Zerowa warto\x9C\xE6 rabatu"},
        {1985, "Warto\x9C\xE6 po rabacie ujemna lub zerowa"},
        {1991, "Rabat niedozwolony w tym stanie transakcji"},
        {2001, "Ilo\x9C\xE6 musi by\xE6 liczb\xB9 ca\xB3kowit\xB9"},
        {2056, "Pusty tekst"},
        {2064, "Brak rozpocz\xEAtego wydruku lub transakcji"},
        {2066, "Stopka paragonu nie zosta\xB3"
               "a rozpocz\xEAta"},
        {2094, "Forma p\xB3"
               "atno\x9C"
               "ci u\xBFyta ju\xBF jako reszta"},
        {2600, "B\xB3\xEA"
               "dny typ rabatu"},
        {2601, "Warto\x9C\xE6 rabatu poza zakresem"},
        {2702, "B\xB3\xEA"
               "dny identyfikator linii stopki"},
        {2703, "Za du\xBFo linii stopki"},
        {2801, "B\xB3\xB9"
               "d weryfikacji warto\x9C"
               "ci rabatu"},
        {2803, "B\xB3\xB9"
               "d weryfikacji warto\x9C"
               "ci opakowa\xF1"},
        {2806, "Suma opakowa\xF1 wydanych inna ni\xBF przes\xB3"
               "ana"},
        {2807, "Suma opakowa\xF1 zwr\xF3"
               "conych inna ni\xBF przes\xB3"
               "ana"},
        {2809, "Suma reszty inna ni\xBF przes\xB3"
               "ana"},
        {2853, "Nie znaleziono opakowania do stornowania"},
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
