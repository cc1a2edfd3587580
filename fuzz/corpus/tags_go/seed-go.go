package main

import "fmt"

type Point struct { X, Y int }
type Shape interface { Area() float64 }
func (p *Point) Move(dx int) { p.X += dx }
func main() {
	fmt.Println("x")
}
func generic[T any](t T) T { return t }
var s = `raw
string`
