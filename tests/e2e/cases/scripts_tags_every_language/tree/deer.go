package herd

type Deer struct {
	name string
}

type funcval struct {
	fn uintptr
}

func (d *Deer) Run(speed int) error {
	return nil
}
