// Routes that print, carried out once per "Idempotency-Key": the web application may send the
// header (its value, quoted or not, 1 to 255 printable ASCII characters) so that a retry of a
// print whose answer it lost prints nothing.
#ifndef SERVICE_IDEMPOTENT_ROUTE_H
#define SERVICE_IDEMPOTENT_ROUTE_H

#include "rest/rest_router.h"
#include "service/idempotency_store.h"

// Without the header, `handler` runs as it is. With it: a repeat of a finished request (same
// method, path and JSON body) gets the stored answer; a repeat whose document's fate is still
// unknown gets the stored 500; the same key with another request answers 422, and a repeat of
// a request that has not finished 409; none of them runs `handler`. `completedAnswer` is the
// route's answer for a document found completed after its answer was lost.
RouteHandler oncePerKey(RouteHandler handler, IdempotencyStore& store,
                        const Json::Value& completedAnswer);

#endif
