// Stand-in until the page's own script comes: shows that the page and its script load.
'use strict';
document.getElementById('status').textContent = 'Zaplo: the page is on its way.';
