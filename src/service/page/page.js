// The program's own page: the printer's state and the program's details, refreshed every few
// seconds, and the connection buttons. It offers no fiscal actions: those belong to the web
// application.
'use strict';

const refreshMs = 4000;
const vatRates = ['va', 'vb', 'vc', 'vd', 've', 'vf', 'vg'];
const parityNames = { none: 'brak', odd: 'nieparzysta', even: 'parzysta' };
const flowControlNames = { rtscts: 'RTS/CTS', xonxoff: 'XON/XOFF', none: 'brak' };
const operationNames = {
  receipt: 'drukuje paragon',
  dailyReport: 'drukuje raport dobowy',
  vatRates: 'odczytuje stawki VAT',
  connect: 'łączy się',
  disconnect: 'rozłącza się',
  reload: 'łączy się ponownie',
  connectionCheck: 'sprawdza połączenie',
  configurationSave: 'zapisuje konfigurację',
  status: 'sprawdza połączenie',
};
let configuredPort = '';
let refreshTimer;

function show(id, text) {
  document.getElementById(id).textContent = text;
}

function localTime(utc) {
  return utc ? new Date(utc).toLocaleString('pl-PL') : 'brak';
}

// The program's error answers: a Polish text, a printer error, or {"exception": text}.
function errorText(answer) {
  if (typeof answer === 'string') {
    return answer;
  }
  if (answer && answer.type === 'POSNET') {
    return `${answer.exception.message} (kod ${answer.exception.code})`;
  }
  return answer && answer.exception ? String(answer.exception) : 'Nieznany błąd';
}

async function call(method, path, body) {
  const request = { method, headers: { Accept: 'application/json' } };
  if (body !== undefined) {
    request.headers['Content-Type'] = 'application/json;charset=utf-8';
    request.body = JSON.stringify(body);
  }
  const response = await fetch(path, request);
  const answer = await response.json();
  if (!response.ok) {
    throw new Error(errorText(answer));
  }
  return answer;
}

// Green or red, in the page and in its icon, as the tray shows it.
function showState(className, text) {
  const state = document.getElementById('state');
  state.className = `state ${className}`;
  state.textContent = text;
  document.getElementById('icon').href = `/${className}.svg`;
}

function showStatus(status) {
  if (status.connected) {
    showState('connected', 'Nawiązano połączenie z drukarką');
  } else {
    showState('disconnected', 'Brak połączenia z drukarką fiskalną');
  }
  configuredPort = status.port;
  show('version', status.version);
  show('configured', status.configured ? 'tak' : 'nie');
  show('port', status.port || 'nie wybrano');
  show('model', status.model ? `${status.model}, oprogramowanie ${status.firmware}` : 'nieznane');
  show('line', lineText(status.line, status.port));
  show('busy', busyText(status.busy, status.waiting));
  show('last-completed', localTime(status.lastCompletedCommand));
  const refusal = status.lastRefusal;
  show('last-refusal', refusal
    ? `${refusal.message} (kod ${refusal.code}, ${refusal.description}), ${localTime(refusal.time)}`
    : 'brak');
  show('certificate',
    `${status.certificate.subject}, ważny do ${localTime(status.certificate.expires)}` +
    ` (${certificateStateText(status.certificate)})`);
  show('log-folder', status.logFolder);
  const inDoubt = document.getElementById('in-doubt');
  inDoubt.hidden = !status.documentInDoubt;
  if (status.documentInDoubt) {
    inDoubt.textContent =
      `${status.documentInDoubt.message} (${localTime(status.documentInDoubt.since)})`;
  }
}

// The settings of line.json; a printer on the network has no serial line to set.
function lineText(line, port) {
  const text = `${line.speed} b/s, 8 bitów danych, parzystość: ${parityNames[line.parity]}, ` +
    `bity stopu: ${line.stopBits}, sterowanie przepływem: ${flowControlNames[line.flowControl]}`;
  return port.startsWith('tcp://') ? `${text} (drukarka sieciowa ich nie używa)` : text;
}

// A certificate made while the clock ran ahead is not valid yet, whatever days it has left.
function certificateStateText(certificate) {
  if (certificate.daysLeft >= 0 && !certificate.usable) {
    return `jeszcze nieważny, ważny od ${localTime(certificate.validFrom)}; ` +
      'przeglądarka odrzuci połączenie';
  }
  return daysLeftText(certificate.daysLeft);
}

// What the printer is doing since when, and how many requests wait for it.
function busyText(busy, waiting) {
  const doing = busy
    ? `${operationNames[busy.operation] || busy.operation} od ${localTime(busy.since)}`
    : 'czeka na polecenia';
  return waiting > 0 ? `${doing}; oczekujące żądania: ${waiting}` : doing;
}

function daysLeftText(days) {
  if (days < 0) return 'wygasł';
  if (days === 1) return 'został 1 dzień';
  return `zostało dni: ${days}`;
}

async function refresh() {
  clearTimeout(refreshTimer);
  try {
    showStatus(await call('GET', '/status'));
  } catch (error) {
    showState('disconnected', 'Program nie odpowiada');
  }
  refreshTimer = setTimeout(refresh, refreshMs);
}

function showVatRates(rates) {
  const rows = vatRates.map((key, index) => {
    const row = document.createElement('tr');
    const rate = rates[key];
    const text = rate === 100 ? 'zwolniona' : rate === 101 ? 'nieaktywna' : `${rate}%`;
    for (const cell of [`Stawka ${String.fromCharCode(65 + index)}`, text]) {
      row.appendChild(document.createElement('td')).textContent = cell;
    }
    return row;
  });
  const table = document.getElementById('vat-rates');
  table.tBodies[0].replaceChildren(...rows);
  table.hidden = false;
}

// Runs one button's action, says how it ended and shows the state it left.
async function act(action, doneText) {
  show('message', '');
  try {
    show('message', (await action()) || doneText);
  } catch (error) {
    show('message', error.message);
  }
  await refresh();
}

async function connect() {
  if (!configuredPort) {
    return 'Nie wybrano portu drukarki w konfiguracji';
  }
  const connected = await call('POST', '/connect', configuredPort);
  return connected ? '' : 'Drukarka nie zgłosiła gotowości';
}

function onClick(id, action, doneText) {
  document.getElementById(id).addEventListener('click', () => act(action, doneText));
}

onClick('connect', connect, 'Połączono z drukarką');
onClick('disconnect', () => call('GET', '/disconnect'), 'Rozłączono drukarkę');
onClick('reload', () => call('GET', '/config/reload'), 'Ponowiono próbę połączenia');
onClick('show-vat', async () => showVatRates(await call('GET', '/printer/get_vat_mapping')),
  'Odczytano stawki VAT');
refresh();
