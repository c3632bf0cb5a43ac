#include "poslib/library_error.h"
#include "poslib/printer_error_numbers.h"

#include <map>

namespace poslib {

const char* errorText(POSNET_STATUS code) {
    // The bytes are Windows-1250, as the program expects from the printer maker's library.
    static const std::map<POSNET_STATUS, const char*> texts = {
        {frame_error::unknownCommand, "Nierozpoznana komenda"},
        {frame_error::missingField, "Brak obowi\xB9zkowego pola"},
        {frame_error::fieldConversion, "B\xB3\xB9"
                                       "d konwersji pola"},
        {frame_error::badToken, "B\xB3\xEA"
                                "dny token"},
        {frame_error::badChecksum, "B\xB3\xEA"
                                   "dna suma kontrolna"},
        {frame_error::frameError, "B\xB3\xB9"
                                  "d ramki (brak mnemonika parametru)"},
        {LineLost, "Utracono po\xB3\xB9"
                   "czenie z drukark\xB9"},
        {frame_error::fieldLength, "B\xB3\xEA"
                                   "dna d\xB3ugo\x9C\xE6 pola"},
        {frame_error::inputBufferFull, "Przepe\xB3nienie bufora wej\x9C"
                                       "ciowego"},
        {frame_error::notImmediate, "Komenda niedozwolona w trybie natychmiastowym"},
        {frame_error::tokenNotFound, "Nie znaleziono tokenu"},
        {frame_error::inputQueueFull, "Przepe\xB3nienie kolejki wej\x9C"
                                      "ciowej"},
        {frame_error::missingChecksum, "Brak sumy kontrolnej"},
        {command_error::zeroReport, "Pr\xF3"
                                    "ba wykonania raportu zerowego"},
        {command_error::noItems, "Brak pozycji na paragonie"},
        {command_error::badVatRate, "B\xB3\xB9"
                                    "d pola stawki VAT (b\xB3\xEA"
                                    "dny numer lub nieaktywna stawka)"},
        {command_error::noTransaction, "Brak trybu transakcji (paragon nie jest otwarty)"},
        {command_error::badPrice, "B\xB3\xB9"
                                  "d pola ceny (cena musi by\xE6 wi\xEAksza od zera)"},
        {command_error::badQuantity, "B\xB3\xB9"
                                     "d pola ilo\x9C"
                                     "ci (ilo\x9C\xE6 musi by\xE6 wi\xEAksza od zera)"},
        {command_error::badLineValue,
         "B\xB3\xEA"
         "dna warto\x9C\xE6 pozycji (inna ni\xBF cena razy ilo\x9C\xE6)"},
        {command_error::zeroLineValue, "Zerowa warto\x9C\xE6 pozycji"},
        {command_error::totalsOverflow, "Przepe\xB3nienie totalizer\xF3w dobowych"},
        {command_error::inTransaction, "Urz\xB9"
                                       "dzenie w trybie transakcji (paragon jest otwarty)"},
        {command_error::zeroTotal, "Zerowa warto\x9C\xE6 paragonu"},
        {command_error::paymentsShort, "Wp\xB3"
                                       "aty nie pokrywaj\xB9 sumy paragonu"},
        {command_error::badState, "Niew\xB3"
                                  "a\x9C"
                                  "ciwy stan transakcji"},
        {command_error::emptyName, "Pusta nazwa towaru"},
        {command_error::badPaymentForm, "B\xB3\xEA"
                                        "dna forma p\xB3"
                                        "atno\x9C"
                                        "ci"},
        {command_error::totalNotLineSum, "Suma paragonu inna ni\xBF suma pozycji"},
        {command_error::paidNotPaymentSum, "Kwota wp\xB3"
                                           "at inna ni\xBF suma p\xB3"
                                           "atno\x9C"
                                           "ci"},
        {command_error::alreadyCovered, "P\xB3"
                                        "atno\x9C"
                                        "ci ju\xBF pokrywaj\xB9 nale\xBFno\x9C\xE6"},
        {command_error::depositRange, "Przekroczony zakres warto\x9C"
                                      "ci opakowa\xF1"},
        {command_error::changeTooLarge, "Za du\xBF"
                                        "a reszta"},
        {command_error::zeroPayment, "P\xB3"
                                     "atno\x9C\xE6 o warto\x9C"
                                     "ci zero"},
        {command_error::afterDiscountRange, "Warto\x9C\xE6 po rabacie lub narzucie poza zakresem"},
        {command_error::baseNotPositive, "Warto\x9C\xE6 podstawy ujemna lub zerowa"},
        {command_error::zeroDiscount, "Zerowa warto\x9C\xE6 rabatu"},
        {command_error::nothingAfterDiscount, "Warto\x9C\xE6 po rabacie ujemna lub zerowa"},
        {command_error::discountNotAllowed, "Rabat niedozwolony w tym stanie transakcji"},
        {command_error::notWholeQuantity, "Ilo\x9C\xE6 musi by\xE6 liczb\xB9 ca\xB3kowit\xB9"},
        {command_error::emptyText, "Pusty tekst"},
        {command_error::nothingStarted, "Brak rozpocz\xEAtego wydruku lub transakcji"},
        {command_error::footerNotStarted, "Stopka paragonu nie zosta\xB3"
                                          "a rozpocz\xEAta"},
        {command_error::formUsedAsChange, "Forma p\xB3"
                                          "atno\x9C"
                                          "ci u\xBFyta ju\xBF jako reszta"},
        {command_error::badDiscountType, "B\xB3\xEA"
                                         "dny typ rabatu"},
        {command_error::discountRange, "Warto\x9C\xE6 rabatu poza zakresem"},
        {command_error::badFooterLine, "B\xB3\xEA"
                                       "dny identyfikator linii stopki"},
        {command_error::tooManyFooterLines, "Za du\xBFo linii stopki"},
        {command_error::discountCheck, "B\xB3\xB9"
                                       "d weryfikacji warto\x9C"
                                       "ci rabatu"},
        {command_error::depositCheck, "B\xB3\xB9"
                                      "d weryfikacji warto\x9C"
                                      "ci opakowa\xF1"},
        {command_error::takenNotDepositSum, "Suma opakowa\xF1 wydanych inna ni\xBF przes\xB3"
                                            "ana"},
        {command_error::returnedNotDepositSum, "Suma opakowa\xF1 zwr\xF3"
                                               "conych inna ni\xBF przes\xB3"
                                               "ana"},
        {command_error::changeNotChangeSum, "Suma reszty inna ni\xBF przes\xB3"
                                            "ana"},
        {command_error::depositNotFound, "Nie znaleziono opakowania do stornowania"},
        {InvalidHandle, "Nieprawid\xB3owy uchwyt"},
        {InvalidArgument, "Nieprawid\xB3owy argument wywo\xB3"
                          "ania"},
        {PortNotOpened, "Nie mo\xBFna otworzy\xE6 portu drukarki"},
        {ControlByteInValue, "Niedozwolony znak steruj\xB9"
                             "cy w warto\x9C"
                             "ci parametru"},
        {MalformedRequest, "Nieprawid\xB3owy format polecenia lub parametr\xF3w"},
        {BrokenAnswerFrame, "Uszkodzona ramka odpowiedzi drukarki"},
        {UnexpectedAnswer, "Nieoczekiwana odpowied\x9F drukarki"},
        {WrongCallOrder, "Nieprawid\xB3owa kolejno\x9C\xE6 wywo\xB3"
                         "a\xF1"},
        {InternalError, "B\xB3\xB9"
                        "d wewn\xEA"
                        "trzny biblioteki"},
        {NoMoreValues, "Brak kolejnych warto\x9C"
                       "ci odpowiedzi"},
    };
    const auto found = texts.find(code);
    return found == texts.end() ? nullptr : found->second;
}

} // namespace poslib
