<?php
abstract class Stable extends Barn {
    public function open($door) {
    }
}
