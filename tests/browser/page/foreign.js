// A page of another site, not allowed to call the fiscal printer proxy, trying what any page
// in the shop's browser could: a JSON post, a Blob post that needs no pre-flight, images
// pointing at routes that print or disconnect, and a read of the configuration.
// runForeignScenario() returns what the page saw of each attempt.
'use strict';

const programAddress = 'https://127.0.0.1:9003';

async function attempt(path, request) {
  try {
    const response = await fetch(programAddress + path, request);
    return { status: response.status, body: await response.text() };
  } catch (error) {
    return { failure: String(error) };
  }
}

// An image's load fails alike for an answer that is not an image and for a refusal; the test
// reads the program's log and the printer's journal to tell them apart.
function loadImage(path) {
  return new Promise((resolve) => {
    const image = new Image();
    image.onload = () => resolve('loaded');
    image.onerror = () => resolve('error');
    image.src = programAddress + path;
  });
}

async function runForeignScenario(receipt) {
  const seen = {};
  seen.print = await attempt('/printer/print', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json;charset=utf-8' },
    body: JSON.stringify(receipt),
  });
  seen.blobPrint = await attempt('/printer/print', {
    method: 'POST',
    body: new Blob([JSON.stringify(receipt)]),
  });
  seen.dailyReport = await loadImage('/daily_report');
  seen.disconnect = await loadImage('/disconnect');
  seen.configuration = await attempt('/config/get', {});
  return seen;
}
