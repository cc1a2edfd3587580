<?php
namespace App\Models;
abstract class Model implements I {
  public static function find($id) { return null; }
  private function &ref() {}
}
interface I { function f(); }
trait T {}
function top() {}
$x = function() {};
