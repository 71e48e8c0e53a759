#include "ca/Stylesheet.h"

namespace ca {

// Narrow screens get one column with full-width controls; long serials and Base64 break
// anywhere rather than widen the page.
const char* const kStylesheet = R"(:root { color-scheme: light; }
* { box-sizing: border-box; }
body { margin: 0; font: 16px/1.5 system-ui, sans-serif; color: #1d2430; background: #f3f5f8; }
header { background: #1f3a5f; color: #fff; padding: 0.6rem 1rem; font-weight: 600; }
main { max-width: 60rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.6rem; margin: 0.5rem 0 1rem; }
h2 { font-size: 1.2rem; margin: 1.5rem 0 0.5rem; }
a { color: #1f5fa8; }
section, form, table, pre { background: #fff; border: 1px solid #d5dbe3; border-radius: 6px; }
.wide { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; margin: 0.5rem 0; }
th, td { text-align: left; vertical-align: top; padding: 0.45rem 0.6rem;
  border-bottom: 1px solid #e4e8ee; }
td { overflow-wrap: anywhere; }
th { color: #44516a; font-weight: 600; }
.facts th { width: 35%; }
td form { border: 0; padding: 0; margin: 0; background: none; }
form { padding: 1rem; margin: 0.5rem 0; }
label { display: block; margin: 0 0 0.8rem; font-weight: 600; }
label.check { font-weight: normal; }
input[type=text], input[type=password], textarea { display: block; width: 100%;
  margin-top: 0.25rem; padding: 0.45rem; font: inherit; border: 1px solid #aab4c3;
  border-radius: 4px; }
textarea, pre, code { font-family: ui-monospace, monospace; font-size: 0.85rem; }
pre { padding: 0.75rem; white-space: pre-wrap; overflow-wrap: anywhere; }
button { font: inherit; padding: 0.45rem 1.1rem; border: 0; border-radius: 4px;
  background: #1f5fa8; color: #fff; cursor: pointer; white-space: nowrap; }
button:hover { background: #174a84; }
ul.links { padding-left: 1.2rem; }
ul.links li { margin: 0.4rem 0; }
ul.links span { display: block; color: #44516a; }
nav { margin: 1.5rem 0 0; }
@media (max-width: 40rem) {
  .facts th, .facts td { display: block; width: auto; border: 0; }
  .facts th { padding-bottom: 0; }
  .facts tr { display: block; border-bottom: 1px solid #e4e8ee; }
  .wide thead { display: none; }
  .wide tr, .wide td { display: block; }
  .wide tr { border-bottom: 1px solid #d5dbe3; }
  .wide td { border: 0; padding: 0.2rem 0.6rem; }
  .wide td[data-label]::before { content: attr(data-label); display: block; font-weight: 600;
    color: #44516a; }
}
@media (min-width: 40rem) {
  ul.links span { display: inline; }
  ul.links span::before { content: "\2013  "; }
}
)";

}  // namespace ca
