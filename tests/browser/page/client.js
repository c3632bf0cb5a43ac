// The web application's calls to the fiscal printer proxy, from a page on another origin.
// runScenario() returns what the page saw of each call, for the test to check.
'use strict';

const programAddress = 'https://127.0.0.1:9003';

// One call as the web application makes it: JSON bodies are sent with the content type that
// makes the browser ask the program first (the CORS pre-flight), and every answer is read
// as JSON, error answers included.
async function callProgram(method, path, body, headers = {}) {
  const request = { method, headers: { Accept: 'application/json', ...headers } };
  if (body !== undefined) {
    request.headers['Content-Type'] = 'application/json;charset=utf-8';
    request.body = JSON.stringify(body);
  }
  try {
    const response = await fetch(programAddress + path, request);
    return {
      method,
      path,
      status: response.status,
      contentType: response.headers.get('Content-Type'),
      body: await response.json(),
    };
  } catch (error) {
    // A refused cross-origin answer or a body that is not JSON.
    return { failure: String(error) };
  }
}

function sale(items) {
  return {
    GrossTotal: items.reduce((total, item) => total + item.GrossValue, 0),
    FiscalPrinterPaymentId: 2,
    CustomerNip: '526-025-02-74',
    Items: items,
  };
}

function item(name, price, quantity, vatRate) {
  return {
    ProductName: name,
    ProductUnitOfMeasurment: 'szt.',
    Quantity: quantity,
    ProductCurrencyGrossPrice: price,
    FiscalPrinterVatRateType: vatRate,
    GrossValue: Math.round(price * quantity * 100) / 100,
  };
}

// The worked example of docs/api.md: a deposit, a line discount, card plus cash with change.
function workedExample() {
  return {
    GrossTotal: 21.43,
    Items: [
      { ProductName: 'Woda mineralna 1,5 l', ProductUnitOfMeasurment: 'szt.', Quantity: 6,
        ProductCurrencyGrossPrice: 2.49, FiscalPrinterVatRateType: 1, GrossValue: 14.94,
        Discount: { Amount: 1.50, Name: 'Promocja' }, Description: 'Zgrzewka 6 x 1,5 l' },
      { ProductName: 'Chleb żytni', ProductUnitOfMeasurment: 'szt.', Quantity: 1,
        ProductCurrencyGrossPrice: 4.99, FiscalPrinterVatRateType: 2, GrossValue: 4.99 },
    ],
    Deposits: [{ Number: '1', Quantity: 6, Price: 0.50, Description: 'Butelka PET' }],
    Payments: [
      { FiscalPrinterPaymentId: 2, Amount: 10.00 },
      { FiscalPrinterPaymentId: 0, Amount: 20.00 },
    ],
    FooterLines: [
      { Kind: 'OrderNumber', Text: 'ZAM/2026/0042' },
      { Text: 'Dziękujemy za zakupy' },
    ],
  };
}

// The program starts with the shop's saved configuration, which names the printer's port.
async function runScenario(printerPort) {
  const configuration = {
    port: printerPort,
    selectedPrinter: 1,
    questionBeforeFiscalization: true,
    printInvoicesOnFiscalPrinter: false,
    dontPrintNipOnFiscalPrinter: false,
    isValid: true,
    vatMappingForNoObligation: 3,
    paymentMapping: [{ payment: 'Karta', id: 2 }],
  };
  const seen = {};
  seen.document = await callProgram('GET', '/openapi.json');
  seen.version = await callProgram('GET', '/config/version');
  seen.configured = await callProgram('GET', '/config/is_configured');
  seen.startConfiguration = await callProgram('GET', '/config/get');
  seen.serialPorts = await callProgram('GET', '/config/serial_port_list');
  seen.connected = await callProgram('GET', '/config/is_connected');
  seen.save = await callProgram('POST', '/config/save', configuration);
  seen.savedConfiguration = await callProgram('GET', '/config/get');
  seen.connect = await callProgram('POST', '/connect', printerPort);
  seen.vatMapping = await callProgram('GET', '/printer/get_vat_mapping');
  const printed = sale([item('Chleb żytni', 4.99, 2, 0), item('Masło ekstra 82%', 7.49, 1, 1)]);
  const once = { 'Idempotency-Key': 'sale-0001' };
  seen.print = await callProgram('POST', '/printer/print', printed, once);
  seen.printRetried = await callProgram('POST', '/printer/print', printed, once);
  seen.otherSaleWithItsKey = await callProgram('POST', '/printer/print', sale([
    item('Chleb żytni', 4.99, 1, 0),
  ]), once);
  seen.invalidSale = await callProgram('POST', '/printer/print', sale([
    { ProductCurrencyGrossPrice: 1, FiscalPrinterVatRateType: 0, GrossValue: 1 },
  ]));
  seen.refusedSale = await callProgram('POST', '/printer/print', sale([
    item('Bułka', 0.5, 4, 0),
    item('Gazeta', 3.2, 1, 5),
  ]));
  seen.workedExample = await callProgram('POST', '/printer/print', workedExample());
  seen.paymentsShort = await callProgram('POST', '/printer/print',
    { ...workedExample(), Payments: [{ FiscalPrinterPaymentId: 0, Amount: 20 }] });
  seen.cashIn = await callProgram('POST', '/printer/cash', { Amount: 100, Direction: 'In' });
  seen.cashState = await callProgram('GET', '/printer/cash');
  seen.drawer = await callProgram('POST', '/printer/drawer', null);
  seen.info = await callProgram('GET', '/printer/info');
  seen.active = await callProgram('GET', '/config/is_connected_active');
  seen.unknownRoute = await callProgram('GET', '/printer/unknown');
  seen.disconnect = await callProgram('GET', '/disconnect');
  seen.printDisconnected = await callProgram('POST', '/printer/print', sale([
    item('Chleb żytni', 4.99, 1, 0),
  ]));
  return seen;
}
