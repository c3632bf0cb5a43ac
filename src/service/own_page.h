// The program's own page at "/", where a shop's IT person sees at one look whether the
// program runs, the browser trusts its certificate and the printer is connected. Its
// documents are compiled in from page/.
#ifndef SERVICE_OWN_PAGE_H
#define SERVICE_OWN_PAGE_H

#include "rest/rest_router.h"

struct PageDocument {
    const char* path;
    const char* contentType;
    const char* text;
};

// "/", the style sheet and script it loads, and its icon in the tray's two colours.
extern const PageDocument pageDocuments[5];

// "/openapi.json": every route with its requests and answers, for the web application's
// developers and their tools; compiled in from openapi.json.
extern const PageDocument apiDocument;

// Answers `document` as it is; registered as RouteKind::Page, so that it answers only the
// page itself and navigations, and another site can neither read nor frame it.
RouteHandler pageDocumentHandler(const PageDocument& document);

#endif
